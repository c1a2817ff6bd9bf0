#pragma once
// The version-history window: "history.txt" of the working folder in an editable memo that is never saved.
#include <QDialog>

class QPlainTextEdit;
class TMainForm;

class THistoryForm : public QDialog {
  Q_OBJECT
 public:
  // Made for one showing. A history file that cannot be read is reported at once; the window then opens empty.
  explicit THistoryForm(TMainForm* owner);

  QPlainTextEdit* Memo1 = nullptr;

  void FormCreate();

 private:
  TMainForm* owner_;
};
