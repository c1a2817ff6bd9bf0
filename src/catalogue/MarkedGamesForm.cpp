#include "catalogue/MarkedGamesForm.h"

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
    const TJavaBaseItem& game = games[static_cast<size_t>(i)];
    if (game.Selected == 0) continue;
    result.indices.push_back(i);
    unsigned long long size = 0;
    if (parseSize(game.Size, size) && size <= std::numeric_limits<unsigned long long>::max() - result.totalBytes) {
      result.totalBytes += size;
    } else {
      ++result.unknownSizes;
    }
  }
  return result;
}

}  // namespace quorrel

TMarkedGamesForm::TMarkedGamesForm(QWidget* parent, const quorrel::GameTable& games, int gameCount) : QDialog(parent) {
  setObjectName(QStringLiteral("MarkedGamesForm"));
  setWindowTitle(QStringLiteral("Выбранные игры"));
  resize(420, 320);

  const quorrel::MarkedGames marked = quorrel::markedGames(games, gameCount);

  GameList = new QTreeWidget(this);
  GameList->setObjectName(QStringLiteral("GameList"));
  GameList->setAccessibleName(QStringLiteral("Выбранные игры"));
  GameList->setRootIsDecorated(false);
  GameList->setColumnCount(2);
  GameList->setHeaderLabels({QStringLiteral("Название"), QStringLiteral("Размер")});
  GameList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  GameList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  GameList->header()->setStretchLastSection(false);
  for (const int i : marked.indices) {
    const quorrel::TJavaBaseItem& game = games[static_cast<size_t>(i)];
    auto* row = new QTreeWidgetItem(GameList);
    row->setText(0, quorrel::shownLabel(quorrel::fromAnsi(game.Name)));
    row->setText(1, quorrel::shownLabel(quorrel::fromAnsi(game.Size)) + QStringLiteral(" байт"));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }

  TotalLabel = new QLabel(this);
  TotalLabel->setObjectName(QStringLiteral("TotalLabel"));
  TotalLabel->setWordWrap(true);
  if (marked.indices.empty()) {
    TotalLabel->setText(QStringLiteral("Ни одна игра не отмечена. Отметьте игры галочкой «Выбрать игру»."));
    GameList->hide();
  } else {
    QString total =
        QStringLiteral("Отмечено игр: %1, общий размер: %2 байт").arg(marked.indices.size()).arg(marked.totalBytes);
    if (marked.unknownSizes > 0) {
      total += QStringLiteral(" (без игр с неизвестным размером: %1)").arg(marked.unknownSizes);
    }
    TotalLabel->setText(total);
  }
  TotalLabel->setAccessibleName(TotalLabel->text());

  CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setDefault(true);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->addWidget(GameList, 1);
  column->addWidget(TotalLabel);
  column->addWidget(CloseButton, 0, Qt::AlignRight);
}
