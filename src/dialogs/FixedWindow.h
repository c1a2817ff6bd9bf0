#pragma once
// The two help windows share their frame: a fixed client area, a title bar with the system menu, and a place
// in the middle of the window that owns them.
#include <QDialog>

namespace quorrel {

struct FixedWindowFrame {
  int clientWidth;
  int clientHeight;
  bool minimiseBox;
};

void setUpFixedWindow(QDialog* window, QWidget* owner, const FixedWindowFrame& frame);
// Gives a text area the window's colour instead of the usual white, as the help windows' memos have.
void paintInWindowColour(QWidget* textArea);

}  // namespace quorrel
