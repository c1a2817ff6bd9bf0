#include "dialogs/HelpCommands.h"

#include "dialogs/AboutDialog.h"
#include "dialogs/HistoryWindow.h"

namespace quorrel {

void showAbout(QWidget* owner, const AboutFacts& facts) {
  AboutDialog dialog(owner, facts);
  dialog.exec();
}

void showHistory(QWidget* owner, Prompter& prompter) {
  HistoryWindow window(owner, prompter);
  window.exec();
}

}  // namespace quorrel
