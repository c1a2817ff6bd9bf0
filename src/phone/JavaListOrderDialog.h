#pragma once
// The manual-sort dialog of the phone's Java list, made once at program start and shown while the phone
// rebuilds the list.
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
class QToolButton;

namespace quorrel {
class Prompter;
}

class JavaListOrderDialog : public QDialog {
  Q_OBJECT
 public:
  // Errors of the buttons are reported through `prompter`, which must outlive the dialog.
  JavaListOrderDialog(quorrel::Prompter& prompter, QWidget* parent);

  // Shows the entries for the user to order them, modally; on return they stand in the order chosen.
  void order(std::vector<std::string>& entries);

  // Exchange the selected row with the one above / below; the selection stays on its row. A row outside
  // the list throws "List index out of bounds (%d)".
  void moveUp();
  void moveDown();
  void closeDialog();

 private:
  // Controls (objectName = member name)
  QListWidget* entryList = nullptr;
  QToolButton* moveUpButton = nullptr;    // move the selected entry up
  QToolButton* moveDownButton = nullptr;  // move the selected entry down
  QPushButton* closeButton = nullptr;     // "Закрыть"

  int selectedRow() const;
  void exchange(int row, int other);

  quorrel::Prompter& prompter_;
};
