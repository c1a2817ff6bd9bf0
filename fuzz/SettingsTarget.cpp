// The settings file Quorrel.ini through both of its readers: the main window's start-up read and the
// settings dialog's read. Whatever they accept, saving it and reading the saved file back must give the
// same file again: a save never turns a value into one that reads differently.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "FuzzSupport.h"
#include "app/CommUnit.h"
#include "app/MainUnit.h"
#include "app/SettingsFile.h"

using fuzzsupport::readBytes;

namespace {

// Each input starts from the dialog as a fresh start leaves it, since the dialog's read only ever checks
// some of its boxes and a value left by the previous input would otherwise be saved with this one.
void resetWindow(TMainForm& window) {
  TCommPortForm& d = *window.CommPortForm;
  for (QRadioButton* b : {d.RadioButton1, d.RadioButton2, d.RadioButton3}) {
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
  }
  d.CheckBox1->setChecked(false);
  d.CheckBox2->setChecked(false);
  for (QLineEdit* e : {d.Edit1, d.Edit2, d.Edit3, d.Edit4, d.Edit5}) e->clear();
  d.ComboBox1->setEditText(QStringLiteral("COM1"));
  d.ComboBox2->setEditText(QStringLiteral("115200"));
  window.UpdateMode = 0;
  window.UpdateFolderPictures = false;
  window.Java1->setChecked(true);
  window.N16->setChecked(true);
  window.N17->setChecked(false);
}

void readBoth(TMainForm& window) {
  window.guarded([&] { window.ReadSettingsAtStartup(); });
  window.guarded([&] { window.CommPortForm->FormShow(); });
}

// Saves through the dialog's writer; the saved bytes, or empty when the save was refused.
std::string save(TMainForm& window) {
  std::remove(quorrel::SettingsFileName);
  bool saved = true;
  try {
    window.CommPortForm->Button1Click();
  } catch (const std::exception& e) {
    saved = false;
    const std::string text = e.what();
    // The offending text is quoted in the message; one with a NUL byte in it cuts the message short there.
    // A file whose sections cannot all be found while some of its lines stand in none is not rewritten.
    FUZZ_CHECK(text.find("is not a valid integer value") != std::string::npos || text.rfind('\'', 0) == 0 ||
                   text.rfind("Настройки не сохранены", 0) == 0,
               "unexpected save error: " + text);
  }
  bool ok = false;
  const std::string bytes = readBytes(quorrel::SettingsFileName, &ok);
  FUZZ_CHECK(saved == ok, saved ? "save reported success without a file" : "refused save left a file");
  return bytes;
}

int lineCount(const std::string& bytes) {
  int n = 0;
  for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMainForm& window = fuzzsupport::mainWindow();
  resetWindow(window);
  fuzzsupport::writeBytes(quorrel::SettingsFileName, data, size);
  readBoth(window);

  const std::string first = save(window);
  if (first.empty()) return 0;
  FUZZ_CHECK(lineCount(first) == 19 && first.size() >= 2 && first.compare(first.size() - 2, 2, "\r\n") == 0,
             "a save did not write 19 lines");

  readBoth(window);
  const std::string second = save(window);
  FUZZ_CHECK(second == first, "saving what was read back changed the file:\n" + first + "\n---\n" + second);
  fuzzsupport::windowPrompter().asked.clear();
  return 0;
}
