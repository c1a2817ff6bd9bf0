#pragma once
// The about box: the program's name and maker, the catalogue's size and version, the phone plugin's version,
// what the program is for, the supported phones, credits and licence.
#include <QDialog>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class MainWindow;

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  // Made for one showing; the labels are filled from the main window's current state.
  explicit AboutDialog(MainWindow* owner);

  QLabel* titleLabel = nullptr;
  QLabel* gameCountLabel = nullptr;
  QLabel* pluginVersionLabel = nullptr;
  QLabel* baseVersionLabel = nullptr;
  QGroupBox* whatItIsBox = nullptr;
  QGroupBox* phonesBox = nullptr;
  QGroupBox* creditsBox = nullptr;
  QGroupBox* licenceBox = nullptr;
  QPlainTextEdit* whatItIsText = nullptr;
  QPlainTextEdit* phonesText = nullptr;
  QPlainTextEdit* creditsText = nullptr;
  QPlainTextEdit* licenceText = nullptr;
  QPushButton* okButton = nullptr;

  void fillLabels();
  void dismiss();

 private:
  MainWindow* owner_;
};
