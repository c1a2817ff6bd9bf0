#pragma once
// The help menu's commands: each makes its window afresh, shows it modally and destroys it when it closes.
class QWidget;

namespace quorrel {

class Prompter;
struct AboutFacts;

// "О программе...".
void showAbout(QWidget* owner, const AboutFacts& facts);
// "История версий"; a history file that cannot be read is reported through `prompter`.
void showHistory(QWidget* owner, Prompter& prompter);

}  // namespace quorrel
