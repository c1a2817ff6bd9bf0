#include "app/MainUnit.h"

void TMainForm::SpeedButton8Click() {}
