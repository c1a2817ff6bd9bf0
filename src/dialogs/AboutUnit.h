#pragma once
// The about box: the program's name and maker, the catalogue's size and version, the phone plugin's version,
// what the program is for, the supported phones, credits and licence.
#include <QDialog>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TMainForm;

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  // Made for one showing; the labels are filled from the main window's current state.
  explicit TAboutForm(TMainForm* owner);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPlainTextEdit* Memo3 = nullptr;
  QPlainTextEdit* Memo4 = nullptr;
  QPushButton* Button1 = nullptr;

  void FormCreate();
  void Button1Click();

 private:
  TMainForm* owner_;
};
