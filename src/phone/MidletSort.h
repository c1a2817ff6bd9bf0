#pragma once
// The manual-sort dialog of the phone's Java list.
#include <QDialog>

class TMainForm;

class TSortForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSortForm(TMainForm* mainForm);
};
