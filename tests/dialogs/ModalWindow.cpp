#include "ModalWindow.h"

#include <QApplication>
#include <QTimer>
#include <memory>

namespace testsupport {

ModalResult runModal(const std::function<void()>& command, const std::function<void(QWidget*)>& inspect,
                     const std::function<void(QWidget*)>& close) {
  struct State {
    ModalResult result;
    bool finished = false;  // the command has returned: a late poll must do nothing
    int polls = 0;
  };
  auto state = std::make_shared<State>();
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [state, poll, inspect, close] {
    if (state->finished) return;
    QWidget* w = QApplication::activeModalWidget();
    if (!w) {
      // Give up after about two seconds; the command then is not showing anything modally.
      if (++state->polls < 200) QTimer::singleShot(10, *poll);
      return;
    }
    state->result.shown = true;
    state->result.window = w;
    inspect(w);
    close(w);
  };
  QTimer::singleShot(0, *poll);
  command();
  state->finished = true;
  *poll = nullptr;  // breaks the self-reference
  return state->result;
}

}  // namespace testsupport
