// The settings file Quorrel.ini through both of its readers: the main window's start-up read and the
// settings dialog's read. Whatever they accept, saving it and reading the saved file back must give the
// same file again: a save never turns a value into one that reads differently. A save never loses the file it
// replaces: a refused save leaves it as it was, and a backup beside it holds it byte for byte.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "FuzzSupport.h"
#include "app/MainWindow.h"
#include "common/Paths.h"
#include "settings/Settings.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsFile.h"

using fuzzsupport::readBytes;

namespace {

// A control of the dialog, found by its objectName as a test finds it.
template <class W>
W* control(QObject& root, const char* name) {
  return root.findChild<W*>(QLatin1String(name));
}

// Each input starts from the dialog as a fresh start leaves it, since the dialog's read only ever checks
// some of its boxes and a value left by the previous input would otherwise be saved with this one.
void resetWindow(MainWindow& window) {
  SettingsDialog& d = *window.settingsDialog();
  for (QRadioButton* b :
       {control<QRadioButton>(d, "catalogueOnlyButton"), control<QRadioButton>(d, "withScreenshotsButton"),
        control<QRadioButton>(d, "wholeBaseButton")}) {
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
  }
  control<QCheckBox>(d, "folderPicturesBox")->setChecked(false);
  control<QCheckBox>(d, "useProxyBox")->setChecked(false);
  for (QLineEdit* e : {control<QLineEdit>(d, "updateServerEdit"), control<QLineEdit>(d, "proxyHostEdit"),
                       control<QLineEdit>(d, "proxyPortEdit"), control<QLineEdit>(d, "proxyUserEdit"),
                       control<QLineEdit>(d, "proxyPasswordEdit")})
    e->clear();
  control<QComboBox>(d, "comPortBox")->setEditText(QStringLiteral("COM1"));
  control<QComboBox>(d, "comSpeedBox")->setEditText(QStringLiteral("115200"));
  window.settings().setUpdateMode(quorrel::UpdateMode::Unset);
  window.settings().setUpdateFolderPictures(false);
  window.settings().setAutoCompileJava(true);
  window.settings().setSortMarks(true, false);
  window.clearLog();  // the log of a backup made for the previous input
}

void readBoth(MainWindow& window) {
  window.guarded([&] { window.settings().readAtStartUp(quorrel::localPath(quorrel::SettingsFileName)); });
  window.guarded([&] { window.settingsDialog()->readSettingsFile(); });
}

// Saves through the dialog's writer over the file that holds `old`; the saved bytes, or empty when the save
// was refused. `backupAllowed`: whether the file may be one that a rewrite keeps beside the new one.
std::string save(MainWindow& window, const std::string& old, bool backupAllowed) {
  const std::string backupName = std::string(quorrel::SettingsFileName) + ".bak";
  std::remove(backupName.c_str());
  bool saved = true;
  try {
    window.settingsDialog()->save();
  } catch (const std::exception& e) {
    saved = false;
    const std::string text = e.what();
    // The offending text is quoted in the message; one with a NUL byte in it cuts the message short there.
    FUZZ_CHECK(text.find("is not a valid integer value") != std::string::npos || text.rfind('\'', 0) == 0,
               "unexpected save error: " + text);
  }
  bool ok = false;
  const std::string bytes = readBytes(quorrel::SettingsFileName, &ok);
  FUZZ_CHECK(ok, "the settings file is gone after a save");
  FUZZ_CHECK(saved || bytes == old, "a refused save changed the file");
  bool backedUp = false;
  const std::string backup = readBytes(backupName, &backedUp);
  FUZZ_CHECK(!backedUp || (saved && backupAllowed && backup == old),
             "a backup was made where none was due, or does not hold the old file");
  return saved ? bytes : std::string();
}

int lineCount(const std::string& bytes) {
  int n = 0;
  for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MainWindow& window = fuzzsupport::mainWindow();
  resetWindow(window);
  const std::string input(reinterpret_cast<const char*>(data), size);
  fuzzsupport::writeBytes(quorrel::SettingsFileName, input);
  readBoth(window);

  const std::string first = save(window, input, true);
  if (first.empty()) return 0;
  FUZZ_CHECK(lineCount(first) == 19 && first.size() >= 2 && first.compare(first.size() - 2, 2, "\r\n") == 0,
             "a save did not write 19 lines");

  readBoth(window);
  const std::string second = save(window, first, false);
  FUZZ_CHECK(second == first, "saving what was read back changed the file:\n" + first + "\n---\n" + second);
  fuzzsupport::windowPrompter().asked.clear();
  return 0;
}
