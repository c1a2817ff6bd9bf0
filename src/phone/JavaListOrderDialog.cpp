#include "phone/JavaListOrderDialog.h"

#include <QAction>
#include <QFont>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/Icons.h"
#include "common/Prompter.h"
#include "common/ShownText.h"

namespace {

// Each row keeps its entry's bytes beside the shown text, so entries come back exactly as the phone gave them.
constexpr int EntryRole = Qt::UserRole;

QToolButton* arrowButton(QWidget* parent, const char* name, int top, quorrel::Glyph glyph, const QString& what) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QLatin1String(name));
  b->setGeometry(245, top, 23, 22);
  b->setIcon(quorrel::glyphIcon(glyph));
  b->setIconSize(QSize(16, 16));
  b->setAccessibleName(what);
  return b;
}

}  // namespace

JavaListOrderDialog::JavaListOrderDialog(quorrel::Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
  setObjectName(QStringLiteral("javaListOrderDialog"));
  setWindowTitle(QStringLiteral("Ручная сортировка"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(273, 360);
  setModal(true);

  entryList = new QListWidget(this);
  entryList->setObjectName(QStringLiteral("entryList"));
  entryList->setGeometry(8, 8, 233, 313);
  entryList->setSelectionMode(QAbstractItemView::SingleSelection);
  entryList->setAccessibleName(QStringLiteral("Список Java"));

  moveUpButton = arrowButton(this, "moveUpButton", 8, quorrel::Glyph::ArrowUp, QStringLiteral("Вверх"));
  moveDownButton = arrowButton(this, "moveDownButton", 32, quorrel::Glyph::ArrowDown, QStringLiteral("Вниз"));

  closeButton = new QPushButton(QStringLiteral("Закрыть"), this);
  closeButton->setObjectName(QStringLiteral("closeButton"));
  closeButton->setGeometry(8, 328, 75, 25);
  QFont bold = closeButton->font();
  bold.setBold(true);
  closeButton->setFont(bold);
  closeButton->setAccessibleName(QStringLiteral("Закрыть"));
  closeButton->setAutoDefault(false);

  connect(moveUpButton, &QToolButton::clicked, this, [this] { prompter_.guarded([this] { moveUp(); }); });
  connect(moveDownButton, &QToolButton::clicked, this, [this] { prompter_.guarded([this] { moveDown(); }); });
  connect(closeButton, &QPushButton::clicked, this, [this] { prompter_.guarded([this] { closeDialog(); }); });
}

void JavaListOrderDialog::exchange(int row, int other) {
  const int count = entryList->count();
  for (const int index : {row, other}) {
    if (index < 0 || index >= count) {
      throw quorrel::QuorrelError("List index out of bounds (" + std::to_string(index) + ")");
    }
  }
  QListWidgetItem* a = entryList->item(row);
  QListWidgetItem* b = entryList->item(other);
  const QString text = a->text();
  const QVariant entry = a->data(EntryRole);
  a->setText(b->text());
  a->setData(EntryRole, b->data(EntryRole));
  b->setText(text);
  b->setData(EntryRole, entry);
  entryList->setCurrentRow(row);
}

// The selected row, -1 when none is. Not the current row: Qt makes the first row current, unselected, when the
// list is shown, and a move then would take an entry the user never chose.
int JavaListOrderDialog::selectedRow() const {
  const QList<QListWidgetItem*> selected = entryList->selectedItems();
  return selected.isEmpty() ? -1 : entryList->row(selected.first());
}

void JavaListOrderDialog::moveUp() {
  const int row = selectedRow();
  exchange(row, row - 1);
}

void JavaListOrderDialog::moveDown() {
  const int row = selectedRow();
  exchange(row, row + 1);
}

void JavaListOrderDialog::closeDialog() { close(); }

void JavaListOrderDialog::order(std::vector<std::string>& entries) {
  entryList->clear();
  for (const std::string& e : entries) {
    auto* item = new QListWidgetItem(quorrel::shownLabel(quorrel::fromAnsi(e)), entryList);
    item->setData(EntryRole, QByteArray(e.data(), static_cast<int>(e.size())));
  }
  exec();
  // The dialog only exchanges rows, so there are as many as before.
  for (int i = 0; i < entryList->count() && i < static_cast<int>(entries.size()); ++i) {
    const QByteArray bytes = entryList->item(i)->data(EntryRole).toByteArray();
    entries[static_cast<std::size_t>(i)] = std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
}
