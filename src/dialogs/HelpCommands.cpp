// The help menu: each command makes its window afresh, shows it modally and destroys it when it closes.
#include "app/MainWindow.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/HistoryWindow.h"

void MainWindow::showAbout() {
  AboutDialog form(this);
  form.exec();
}

void MainWindow::showHistory() {
  HistoryWindow form(this);
  form.exec();
}
