#pragma once
// The settings dialog and the settings file Quorrel.ini.
#include <QDialog>

class TMainForm;

class TCommPortForm : public QDialog {
  Q_OBJECT
 public:
  explicit TCommPortForm(TMainForm* mainForm);

 private:
  TMainForm* main_;
};
