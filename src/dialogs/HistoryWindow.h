#pragma once
// The version-history window: "history.txt" of the working folder in an editable memo that is never saved.
#include <QDialog>

class QPlainTextEdit;

namespace quorrel {
class Prompter;
}

class HistoryWindow : public QDialog {
  Q_OBJECT
 public:
  // Made for one showing. A history file that cannot be read is reported at once; the window then opens empty.
  HistoryWindow(QWidget* owner, quorrel::Prompter& prompter);

  QPlainTextEdit* historyText = nullptr;

  void loadHistory();

 private:
  quorrel::Prompter& prompter_;
};
