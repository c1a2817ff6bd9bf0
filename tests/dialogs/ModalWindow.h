#pragma once
// Drives a command that shows a window modally: once the window is up, `inspect` looks at it and `close`
// closes it the way a user would, so the command returns.
#include <QPointer>
#include <QWidget>
#include <functional>

namespace testsupport {

struct ModalResult {
  bool shown = false;          // a modal window came up while the command ran
  QPointer<QWidget> window;    // null again once the command has destroyed its window
};

ModalResult runModal(const std::function<void()>& command, const std::function<void(QWidget*)>& inspect,
                     const std::function<void(QWidget*)>& close);

}  // namespace testsupport
