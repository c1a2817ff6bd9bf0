#include "settings/Settings.h"

#include "settings/SettingsFile.h"

namespace quorrel {

void Settings::readAtStartUp(const std::string& path) {
  SettingsReader in(path);
  if (in.findSection(UpdateServerHeader)) {
    updateServer_ = in.readLine();
    updateMode_ = static_cast<std::uint8_t>(in.readNumber());
    updateFolderPictures_ = flagOn(in.readLine());
  }
  if (in.findSection(ProxySettingsHeader) && flagOn(in.readLine())) {
    proxy_.host = in.readLine();
    proxy_.port = static_cast<std::uint32_t>(in.readInteger());
    proxy_.userName = in.readLine();
    proxy_.password = in.readLine();
    in.readLine();
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
