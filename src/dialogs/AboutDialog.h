#pragma once
// The about box: the program's name and maker, the catalogue's size and version, the phone plugin's version,
// what the program is for, the supported phones, credits and licence.
#include <QDialog>
#include <QString>
#include <string>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quorrel {

// What the about box tells of the running program.
struct AboutFacts {
  QString programTitle;  // the main window's title
  int gameCount = 0;
  std::string baseVersion;    // ANSI
  std::string pluginVersion;  // ANSI
};

}  // namespace quorrel

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  // Made for one showing, in the middle of `owner`.
  AboutDialog(QWidget* owner, const quorrel::AboutFacts& facts);

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
  quorrel::AboutFacts facts_;
};
