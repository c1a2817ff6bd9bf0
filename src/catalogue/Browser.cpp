#include <QTreeWidgetItem>

#include "app/MainUnit.h"

void TMainForm::TreeView1Change(QTreeWidgetItem* /*node*/) {}
void TMainForm::CheckBox1Click() {}
void TMainForm::N18Click() {}
void TMainForm::ShowPicture(const std::string& /*path*/) {}
