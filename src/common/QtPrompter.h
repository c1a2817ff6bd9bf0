#pragma once
#include "common/Prompter.h"

namespace quorrel {

// Message boxes and input boxes of Qt, parented to the active window.
class QtPrompter : public Prompter {
 public:
  MsgButton ask(const MessageRequest& request) override;
  bool inputText(const QString& title, const QString& prompt, QString& value) override;
};

}  // namespace quorrel
