#pragma once
// Every message box, question and input box of the application goes through a Prompter, so tests can answer
// them as a user would and check the exact texts asked. The Qt implementation is QtPrompter.
#include <QString>
#include <exception>
#include <functional>
#include <vector>

namespace quorrel {

enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgButton { Ok, Cancel, Yes, No, NoToAll, YesToAll };

struct MessageRequest {
  QString title;
  QString text;
  MsgIcon icon = MsgIcon::None;
  std::vector<MsgButton> buttons{MsgButton::Ok};
  int defaultButton = 0;  // index into buttons
};

// The application title, used as caption of its message boxes.
inline const QString& appTitle() {
  static const QString title = QStringLiteral("Quorrel");
  return title;
}

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows a message box and returns the button chosen (Cancel when the box was closed otherwise).
  virtual MsgButton ask(const MessageRequest& request) = 0;
  // One-line input box; false when cancelled. value holds the default on entry and the entry on return.
  virtual bool inputText(const QString& title, const QString& prompt, QString& value) = 0;

  // The error report: error icon, one OK button, the application title, the full-stop rule.
  void error(const QString& text);
  void error(const std::exception& e);
  // A plain message: no icon, one OK button, the application title.
  void message(const QString& text);

  // Runs a command's body; an error escaping it is shown by the error report (the event loop would not
  // catch it).
  void guarded(const std::function<void()>& body);
};

}  // namespace quorrel
