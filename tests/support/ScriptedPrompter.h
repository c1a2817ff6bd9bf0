#pragma once
// A Prompter that answers from a script and records every request, for tests.
#include <deque>
#include <vector>

#include "common/Prompter.h"

namespace testsupport {

class ScriptedPrompter : public quorrel::Prompter {
 public:
  struct Input {
    QString title;
    QString prompt;
  };

  quorrel::MsgButton ask(const quorrel::MessageRequest& request) override;
  bool inputText(const QString& title, const QString& prompt, QString& value) override;

  // Answers used in order; when none is left, a box is answered with its default button and an input box
  // is cancelled.
  std::deque<quorrel::MsgButton> answers;
  std::deque<QString> inputs;  // a null QString cancels the input box

  std::vector<quorrel::MessageRequest> asked;
  std::vector<Input> inputAsked;

  // Texts of all boxes asked, in order.
  std::vector<QString> texts() const;
  // Texts of the boxes with the error icon.
  std::vector<QString> errors() const;
  void clear();
};

}  // namespace testsupport

#include <ostream>
// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
