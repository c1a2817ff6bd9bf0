#pragma once
// The manual-sort dialog of the phone's Java list, made once at program start and shown by orderJavaList
// while the phone rebuilds the list.
#include <QDialog>

class QListWidget;
class QPushButton;
class QToolButton;
class MainWindow;

class JavaListOrderDialog : public QDialog {
  Q_OBJECT
 public:
  explicit JavaListOrderDialog(MainWindow* mainForm);

  QListWidget* entryList = nullptr;
  QToolButton* moveUpButton = nullptr;    // move the selected entry up
  QToolButton* moveDownButton = nullptr;  // move the selected entry down
  QPushButton* closeButton = nullptr;     // "Закрыть"

  // Exchange the selected row with the one above / below; the selection stays on its row. A row outside
  // the list throws "List index out of bounds (%d)".
  void moveUp();
  void moveDown();
  void closeDialog();

 private:
  void exchange(int row, int other);

  MainWindow* main_;
};
