#pragma once
// The settings dialog "Настройка соединения". One instance lives for the whole run, hidden between showings.
// Each showing re-reads Quorrel.ini into the controls; "Сохранить" rewrites the whole file from the controls
// and the main window's values. The main window's menu toggles save through Button1Click as well, with the
// dialog hidden, so the controls always hold what the next save writes.
#include <QDialog>
#include <cstdint>
#include <string>

#include "app/SettingsFile.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TMainForm;

class TCommPortForm : public QDialog {
  Q_OBJECT
 public:
  // Builds the dialog and reads the settings file into it; a failed read is reported through the main
  // window's prompter and the dialog is made all the same.
  explicit TCommPortForm(TMainForm* mainForm);

  // Shows the dialog modally after reading the settings file into it (a failed read is reported, and the
  // dialog opens with its controls as far as they were filled).
  int exec() override;

  // Reads the settings file into the controls (and, through the click handlers, into the main window).
  void FormShow();
  // Saves: checks the values, rewrites the file, applies the values to the main window and closes.
  // Throws, with nothing written or applied, when a value or the file refuses. After a read that stopped
  // early, every line the read did not take in is written back as it stood in the file unless the user has
  // changed its value since; a file whose sections cannot all be found while it holds lines that stand in
  // none is not rewritten at all, since those lines could not be put back.
  void Button1Click();
  void Button2Click();
  void RadioButton1Click();
  void RadioButton2Click();
  void RadioButton3Click();
  void CheckBox1Click();
  void CheckBox2Click();

  // ---- Controls (objectName = member name) ----
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 private:
  void buildLayout();
  void connectHandlers();
  void selectUpdateMode(QRadioButton* chosen, std::uint8_t mode);
  void readSettings();
  // The 19 lines as the controls and the main window's values would write them now.
  quorrel::SettingsLines currentLines() const;

  TMainForm* main_;
  // Lines of the file the last read did not take in, by line number, as they stood there.
  quorrel::SettingsFileLines unread_;
  // What the controls held right after the last read: a value that still equals it was not changed since.
  quorrel::SettingsFileLines afterRead_;
  std::string refusal_;  // why a save must not rewrite the file; empty when it may
};
