#include "app/MainUnit.h"

void TMainForm::N4Click() {}
void TMainForm::N10Click() {}
void TMainForm::SpeedButton6Click() {}
void TMainForm::ShowPluginLog(const std::string& /*text*/) {}
void TMainForm::ShowPluginProgress(const std::string& /*source*/, const std::string& /*target*/, int /*percent*/) {}
void TMainForm::SpeedButton1Click() {}
void TMainForm::SpeedButton10Click() {}
void TMainForm::SpeedButton5Click() {}
void TMainForm::Java2Click() { SpeedButton5Click(); }
