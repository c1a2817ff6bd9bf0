#include "app/MainUnit.h"

void TMainForm::N3Click() {}
void TMainForm::N14Click() {}
