#pragma once
// Long work on the main thread lets the window paint now and then: at most every 50 ms, with user input held
// back until the work is done.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

namespace quorrel {

class PaintTurns {
 public:
  PaintTurns() { since_.start(); }
  void operator()() {
    if (since_.elapsed() < 50) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    since_.restart();
  }

 private:
  QElapsedTimer since_;
};

}  // namespace quorrel
