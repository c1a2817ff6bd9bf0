#pragma once
// The manual-sort dialog of the phone's Java list, made once at program start and shown by OrderJavaList
// while the phone rebuilds the list.
#include <QDialog>

class QListWidget;
class QPushButton;
class QToolButton;
class TMainForm;

class TSortForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSortForm(TMainForm* mainForm);

  QListWidget* JvListBox1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;  // move the selected entry up
  QToolButton* SpeedButton2 = nullptr;  // move the selected entry down
  QPushButton* Button1 = nullptr;       // "Закрыть"

  // Exchange the selected row with the one above / below; the selection stays on its row. A row outside
  // the list throws "List index out of bounds (%d)".
  void SpeedButton1Click();
  void SpeedButton2Click();
  void Button1Click();

 private:
  int selectedRow() const;
  void exchange(int row, int other);

  TMainForm* main_;
};
