#include "app/CommUnit.h"

#include "app/MainUnit.h"

TCommPortForm::TCommPortForm(TMainForm* mainForm) : QDialog(mainForm), main_(mainForm) {
  setObjectName(QStringLiteral("CommPortForm"));
}

void TMainForm::ReadSettingsAtStartup() {}
void TMainForm::Java1Click() { Java1->setChecked(!Java1->isChecked()); }
void TMainForm::N16Click() {}
void TMainForm::N17Click() {}
