#include "dialogs/FixedWindow.h"

namespace quorrel {

void setUpFixedWindow(QDialog* window, QWidget* owner, const FixedWindowFrame& frame) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint;
  if (frame.minimiseBox) flags |= Qt::WindowMinimizeButtonHint;
  window->setWindowFlags(flags);
  window->setFixedSize(frame.clientWidth, frame.clientHeight);
  window->setSizeGripEnabled(false);
  if (owner) {
    window->setFont(owner->font());
    const QRect outer = owner->frameGeometry();
    window->move(outer.center() - QPoint(frame.clientWidth / 2, frame.clientHeight / 2));
  }
}

void paintInWindowColour(QWidget* textArea) {
  QPalette pal = textArea->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Window));
  textArea->setPalette(pal);
}

}  // namespace quorrel
