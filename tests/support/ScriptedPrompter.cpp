#include "support/ScriptedPrompter.h"

namespace testsupport {

quorrel::MsgButton ScriptedPrompter::ask(const quorrel::MessageRequest& request) {
  asked.push_back(request);
  if (!answers.empty()) {
    const quorrel::MsgButton b = answers.front();
    answers.pop_front();
    return b;
  }
  const auto i = static_cast<size_t>(request.defaultButton);
  return i < request.buttons.size() ? request.buttons[i] : quorrel::MsgButton::Ok;
}

bool ScriptedPrompter::inputText(const QString& title, const QString& prompt, QString& value) {
  inputAsked.push_back({title, prompt});
  if (inputs.empty()) return false;
  const QString v = inputs.front();
  inputs.pop_front();
  if (v.isNull()) return false;
  value = v;
  return true;
}

std::vector<QString> ScriptedPrompter::texts() const {
  std::vector<QString> out;
  for (const auto& r : asked) out.push_back(r.text);
  return out;
}

std::vector<QString> ScriptedPrompter::errors() const {
  std::vector<QString> out;
  for (const auto& r : asked) {
    if (r.icon == quorrel::MsgIcon::Error) out.push_back(r.text);
  }
  return out;
}

void ScriptedPrompter::clear() {
  asked.clear();
  inputAsked.clear();
}

}  // namespace testsupport
