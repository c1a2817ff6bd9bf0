#pragma once
// The settings dialog and the settings file Quorrel.ini.
#include <QDialog>

class QCheckBox;
class TMainForm;

class TCommPortForm : public QDialog {
  Q_OBJECT
 public:
  explicit TCommPortForm(TMainForm* mainForm);

  QCheckBox* CheckBox2 = nullptr;  // "Использовать прокси сервер"

 private:
  TMainForm* main_;
};
