#include "catalogue/MarkedGamesDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

#include "common/Ansi.h"
#include "common/ShownText.h"

namespace quorrel {

namespace {

// A size as written in the catalogue: decimal digits only; anything else (or too large a number) is unknown.
bool parseSize(const std::string& text, unsigned long long& value) {
  if (text.empty()) return false;
  unsigned long long v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<unsigned long long>(c - '0');
    if (v > (std::numeric_limits<unsigned long long>::max() - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

}  // namespace

MarkedGames markedGames(const GameTable& games, int gameCount) {
  MarkedGames result;
  const int count = std::min(gameCount, GameCapacity);
  for (int i = 1; i <= count; ++i) {
    const GameEntry& game = games[static_cast<size_t>(i)];
    if (game.selected == 0) continue;
    result.indices.push_back(i);
    unsigned long long size = 0;
    if (parseSize(game.size, size) && size <= std::numeric_limits<unsigned long long>::max() - result.totalBytes) {
      result.totalBytes += size;
    } else {
      ++result.unknownSizes;
    }
  }
  return result;
}

}  // namespace quorrel

MarkedGamesDialog::MarkedGamesDialog(QWidget* parent, const quorrel::GameTable& games, int gameCount)
    : QDialog(parent) {
  setObjectName(QStringLiteral("MarkedGamesDialog"));
  setWindowTitle(QStringLiteral("Выбранные игры"));
  resize(420, 320);

  const quorrel::MarkedGames marked = quorrel::markedGames(games, gameCount);

  gameList = new QTreeWidget(this);
  gameList->setObjectName(QStringLiteral("gameList"));
  gameList->setAccessibleName(QStringLiteral("Выбранные игры"));
  gameList->setRootIsDecorated(false);
  gameList->setColumnCount(2);
  gameList->setHeaderLabels({QStringLiteral("Название"), QStringLiteral("Размер")});
  gameList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  gameList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  gameList->header()->setStretchLastSection(false);
  for (const int i : marked.indices) {
    const quorrel::GameEntry& game = games[static_cast<size_t>(i)];
    auto* row = new QTreeWidgetItem(gameList);
    row->setText(0, quorrel::shownLabel(quorrel::fromAnsi(game.name)));
    row->setText(1, quorrel::shownLabel(quorrel::fromAnsi(game.size)) + QStringLiteral(" байт"));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }

  totalLabel = new QLabel(this);
  totalLabel->setObjectName(QStringLiteral("totalLabel"));
  totalLabel->setWordWrap(true);
  if (marked.indices.empty()) {
    totalLabel->setText(QStringLiteral("Ни одна игра не отмечена. Отметьте игры галочкой «Выбрать игру»."));
    gameList->hide();
  } else {
    QString total =
        QStringLiteral("Отмечено игр: %1, общий размер: %2 байт").arg(marked.indices.size()).arg(marked.totalBytes);
    if (marked.unknownSizes > 0) {
      total += QStringLiteral(" (без игр с неизвестным размером: %1)").arg(marked.unknownSizes);
    }
    totalLabel->setText(total);
  }
  totalLabel->setAccessibleName(totalLabel->text());

  closeButton = new QPushButton(QStringLiteral("Закрыть"), this);
  closeButton->setObjectName(QStringLiteral("closeButton"));
  closeButton->setDefault(true);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->addWidget(gameList, 1);
  column->addWidget(totalLabel);
  column->addWidget(closeButton, 0, Qt::AlignRight);
}
