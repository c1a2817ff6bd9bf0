#include "settings/Settings.h"

#include "settings/SettingsFile.h"

namespace quorrel {

void Settings::readAtStartUp(const std::string& path) {
  SettingsReader in(path);
  if (in.findSection(UpdateServerHeader)) {
    updateServer_ = in.readLine();
    updateMode_ = static_cast<UpdateMode>(static_cast<std::uint8_t>(in.readNumber()));
    updateFolderPictures_ = flagOn(in.readLine());
  }
  if (in.findSection(ProxySettingsHeader)) {
    // The section may be short (a file written with the proxy off may end it after the flag): a header line
    // ends it, as in the dialog's read, and the details it lacks read as empty.
    const std::optional<std::string> useProxy = in.readSectionLine();
    if (useProxy && flagOn(*useProxy)) {
      proxy_.host = in.readSectionLine().value_or(std::string());
      proxy_.port = static_cast<std::uint32_t>(in.readSectionInteger());
      proxy_.userName = in.readSectionLine().value_or(std::string());
      proxy_.password = in.readSectionLine().value_or(std::string());
      in.readSectionLine();
    }
  }
  if (in.findSection(ConnectionHeader)) {
    comPort_ = in.readLine();
    comSpeed_ = in.readInteger();
    setAutoCompileJava(flagOn(in.readLine()));
  }
  if (in.findSection(InterfaceHeader)) {
    const bool manual = flagOn(in.readLine());
    setSortMarks(!manual, manual);
    sortModeRead_ = true;
  }
}

void Settings::setAutoCompileJava(bool on) {
  autoCompileJava_ = on;
  emit changed();
}

void Settings::setSortMarks(bool alphabetical, bool manual) {
  alphabeticalSort_ = alphabetical;
  manualSort_ = manual;
  emit changed();
}

}  // namespace quorrel
