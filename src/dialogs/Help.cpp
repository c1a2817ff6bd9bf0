// The help menu: each command makes its window afresh, shows it modally and destroys it when it closes.
#include "app/MainUnit.h"
#include "dialogs/AboutUnit.h"
#include "dialogs/History.h"

void TMainForm::N3Click() {
  TAboutForm form(this);
  form.exec();
}

void TMainForm::N14Click() {
  THistoryForm form(this);
  form.exec();
}
