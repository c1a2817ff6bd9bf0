#include "common/Prompter.h"

#include "common/Errors.h"

namespace quorrel {

void Prompter::error(const QString& text) {
  MessageRequest r;
  r.title = appTitle();
  r.text = QString::fromStdString(withFullStop(text.toStdString()));
  r.icon = MsgIcon::Error;
  ask(r);
}

void Prompter::error(const std::exception& e) { error(QString::fromUtf8(e.what())); }

void Prompter::message(const QString& text) {
  MessageRequest r;
  r.title = appTitle();
  r.text = text;
  ask(r);
}

void Prompter::guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    error(e);
  }
}

}  // namespace quorrel
