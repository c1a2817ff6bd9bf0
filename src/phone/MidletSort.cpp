#include "phone/MidletSort.h"

#include <QAction>
#include <QFont>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "app/Icons.h"
#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "phone/JavaList.h"
#include "phone/SGHFS.h"

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

TSortForm::TSortForm(TMainForm* mainForm) : QDialog(mainForm), main_(mainForm) {
  setObjectName(QStringLiteral("SortForm"));
  setWindowTitle(QStringLiteral("Ручная сортировка"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(273, 360);
  setModal(true);

  JvListBox1 = new QListWidget(this);
  JvListBox1->setObjectName(QStringLiteral("JvListBox1"));
  JvListBox1->setGeometry(8, 8, 233, 313);
  JvListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  JvListBox1->setAccessibleName(QStringLiteral("Список Java"));

  SpeedButton1 = arrowButton(this, "SpeedButton1", 8, quorrel::Glyph::ArrowUp, QStringLiteral("Вверх"));
  SpeedButton2 = arrowButton(this, "SpeedButton2", 32, quorrel::Glyph::ArrowDown, QStringLiteral("Вниз"));

  Button1 = new QPushButton(QStringLiteral("Закрыть"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(8, 328, 75, 25);
  QFont bold = Button1->font();
  bold.setBold(true);
  Button1->setFont(bold);
  Button1->setAccessibleName(QStringLiteral("Закрыть"));
  Button1->setAutoDefault(false);

  connect(SpeedButton1, &QToolButton::clicked, this, [this] { main_->guarded([this] { SpeedButton1Click(); }); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { main_->guarded([this] { SpeedButton2Click(); }); });
  connect(Button1, &QPushButton::clicked, this, [this] { main_->guarded([this] { Button1Click(); }); });
}

void TSortForm::exchange(int row, int other) {
  const int count = JvListBox1->count();
  for (const int index : {row, other}) {
    if (index < 0 || index >= count) {
      throw quorrel::QuorrelError("List index out of bounds (" + std::to_string(index) + ")");
    }
  }
  QListWidgetItem* a = JvListBox1->item(row);
  QListWidgetItem* b = JvListBox1->item(other);
  const QString text = a->text();
  const QVariant entry = a->data(EntryRole);
  a->setText(b->text());
  a->setData(EntryRole, b->data(EntryRole));
  b->setText(text);
  b->setData(EntryRole, entry);
  JvListBox1->setCurrentRow(row);
}

// The selected row, -1 when none is. Not the current row: Qt makes the first row current, unselected, when the
// list is shown, and a move then would take an entry the user never chose.
int TSortForm::selectedRow() const {
  const QList<QListWidgetItem*> selected = JvListBox1->selectedItems();
  return selected.isEmpty() ? -1 : JvListBox1->row(selected.first());
}

void TSortForm::SpeedButton1Click() {
  const int row = selectedRow();
  exchange(row, row - 1);
}

void TSortForm::SpeedButton2Click() {
  const int row = selectedRow();
  exchange(row, row + 1);
}

void TSortForm::Button1Click() { close(); }

// ---- The main window's Java list handler ---------------------------------------------------------------
void TMainForm::OrderJavaList(std::string& list) {
  std::vector<std::string> entries = quorrel::splitJavaList(list);
  if (N16->isChecked()) quorrel::sortJavaList(entries);
  if (N17->isChecked() && SortForm) {
    QListWidget* box = SortForm->JvListBox1;
    box->clear();
    for (const std::string& e : entries) {
      auto* item = new QListWidgetItem(quorrel::fromAnsi(e), box);
      item->setData(EntryRole, QByteArray(e.data(), static_cast<int>(e.size())));
    }
    SortForm->exec();
    // The dialog only exchanges rows, so there are as many as before.
    for (int i = 0; i < box->count() && i < static_cast<int>(entries.size()); ++i) {
      const QByteArray bytes = box->item(i)->data(EntryRole).toByteArray();
      entries[static_cast<std::size_t>(i)] = std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
  }
  list = quorrel::joinJavaList(entries);
  if (list.size() > SGHFS::MaxText) {
    LogCommand(QStringLiteral(" Список Java слишком длинный (%1 символов) и не передан в телефон: "
                              "порядок в телефоне не изменён.")
                   .arg(list.size()));
  }
}
