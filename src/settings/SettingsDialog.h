#pragma once
// The settings dialog "Настройка соединения". One instance lives for the whole run, hidden between showings.
// Each showing re-reads Quorrel.ini into the controls; "Сохранить" rewrites the whole file from the controls
// and the settings values in force. The settings menu's toggles save through save() as well, with the
// dialog hidden, so the controls always hold what the next save writes. Which line holds what is the
// settings file's business (quorrel::SettingsFile); the dialog maps its controls to values and back.
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

class SettingsDialog : public QDialog, private quorrel::SettingsForm {
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
  // Saves (see quorrel::SettingsFile::save) and closes. Throws, with nothing written or applied, when a value
  // or the file refuses.
  void save();
  void cancel();
  void chooseCatalogueOnly();
  void chooseWithScreenshots();
  void chooseWholeBase();
  void folderPicturesToggled();
  void useProxyToggled();

 private:
  void buildLayout();
  void connectHandlers();
  void selectUpdateMode(QRadioButton* chosen, quorrel::UpdateMode mode);
  // ---- The form the settings file fills and saves ----
  void fill(const quorrel::SettingsFileRead& read) override;
  quorrel::SettingsFormValues values() const override;

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

  quorrel::Settings& settings_;
  quorrel::Prompter& prompter_;
  quorrel::SettingsFile file_;
};
