#pragma once
// The settings dialog "Настройка соединения". One instance lives for the whole run, hidden between showings.
// Each showing re-reads Quorrel.ini into the controls; "Сохранить" rewrites the whole file from the controls
// and the settings values in force. The settings menu's toggles save through save() as well, with the
// dialog hidden, so the controls always hold what the next save writes.
#include <QDialog>
#include <cstdint>
#include <string>

#include "settings/Settings.h"
#include "settings/SettingsFile.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorrel {
class MessageLog;
class Prompter;
class Settings;
}  // namespace quorrel

class SettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // Builds the dialog and reads the settings file into it; a failed read is reported through `prompter` and
  // the dialog is made all the same. A save that keeps the old file beside the new one says so in `log`.
  // `settings`, `prompter` and `log` must outlive the dialog.
  SettingsDialog(quorrel::Settings& settings, quorrel::Prompter& prompter, quorrel::MessageLog& log, QWidget* parent);

  // Shows the dialog modally after reading the settings file into it (a failed read is reported, and the
  // dialog opens with its controls as far as they were filled).
  int exec() override;

  // Reads the settings file into the controls (and, through the click handlers, into the values in force).
  void readSettingsFile();
  // Saves: checks the values, rewrites the file, applies the values and closes.
  // Throws, with nothing written or applied, when a value or the file refuses.
  // After a read that stopped early, every line the read did not take in is written back as it stood in the
  // file unless the user has changed its value since. A file that cannot be patched so (a section not found
  // while some lines stand in none, a byte-order mark, a header where a value belongs, a line holding a CR)
  // is written whole from the values in force, after the file as it stands is kept beside it as Quorrel.ini.bak; the
  // log says so, and a backup that cannot be written refuses the save.
  void save();
  void cancel();
  void chooseCatalogueOnly();
  void chooseWithScreenshots();
  void chooseWholeBase();
  void folderPicturesToggled();
  void useProxyToggled();

  // ---- Controls (objectName = member name) ----
  QGroupBox* updateGroup = nullptr;
  QLabel* updateServerCaption = nullptr;
  QLineEdit* updateServerEdit = nullptr;
  QRadioButton* catalogueOnlyButton = nullptr;
  QRadioButton* withScreenshotsButton = nullptr;
  QRadioButton* wholeBaseButton = nullptr;
  QCheckBox* folderPicturesBox = nullptr;
  QGroupBox* proxyGroup = nullptr;
  QCheckBox* useProxyBox = nullptr;
  QLabel* proxyHostCaption = nullptr;
  QLineEdit* proxyHostEdit = nullptr;
  QLabel* proxyPortCaption = nullptr;
  QLineEdit* proxyPortEdit = nullptr;
  QLabel* proxyUserCaption = nullptr;
  QLineEdit* proxyUserEdit = nullptr;
  QLabel* proxyPasswordCaption = nullptr;
  QLineEdit* proxyPasswordEdit = nullptr;
  QGroupBox* phoneGroup = nullptr;
  QLabel* comPortCaption = nullptr;
  QComboBox* comPortBox = nullptr;
  QLabel* comSpeedCaption = nullptr;
  QComboBox* comSpeedBox = nullptr;
  QPushButton* saveButton = nullptr;
  QPushButton* cancelButton = nullptr;

 private:
  void buildLayout();
  void connectHandlers();
  void selectUpdateMode(QRadioButton* chosen, quorrel::UpdateMode mode);
  // The 19 lines as the controls and the values in force would write them now.
  quorrel::SettingsLines currentLines() const;

  // Keeps the settings file as it stands now as Quorrel.ini.bak; nothing to keep when it is gone.
  // Returns whether a backup was written.
  bool backUpSettingsFile() const;

  quorrel::Settings& settings_;
  quorrel::Prompter& prompter_;
  quorrel::MessageLog& log_;
  // Lines of the file the last read did not take in, by line number, as they stood there.
  quorrel::SettingsFileLines unread_;
  // What the controls held right after the last read: a value that still equals it was not changed since.
  quorrel::SettingsFileLines afterRead_;
  // The file last read holds what a rewrite drops: the next save keeps the old file as Quorrel.ini.bak.
  bool backupDue_ = false;
};
