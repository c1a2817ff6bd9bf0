#include "phone/MidletSort.h"

#include "app/MainUnit.h"

TSortForm::TSortForm(TMainForm* mainForm) : QDialog(mainForm) { setObjectName(QStringLiteral("SortForm")); }

void TMainForm::OrderJavaList(std::string& /*list*/) {}
