#pragma once
// "Показать выбранные игры": a small window listing the games marked for the batch upload, in table order,
// with their sizes and the total, so the user sees what the upload will send.
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quorrel {

struct MarkedGames {
  std::vector<int> indices;           // games indices of the marked games, in table order
  unsigned long long totalBytes = 0;  // sum of the sizes that are decimal numbers
  int unknownSizes = 0;               // marked games whose size is not a decimal number
};

// The marked entries among 1..gameCount.
MarkedGames markedGames(const GameTable& games, int gameCount);

}  // namespace quorrel

class MarkedGamesDialog : public QDialog {
  Q_OBJECT
 public:
  MarkedGamesDialog(QWidget* parent, const quorrel::GameTable& games, int gameCount);

  QTreeWidget* gameList = nullptr;  // name and size of each marked game
  QLabel* totalLabel = nullptr;     // count and total size, or that no game is marked
  QPushButton* closeButton = nullptr;
};
