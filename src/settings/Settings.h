#pragma once
// The settings values in force while the program runs: where updates come from and what they fetch, the
// proxy, the phone's port and speed, and how the phone's Java list is compiled and sorted. Read from
// Quorrel.ini at start-up and changed by the settings dialog and the settings menu; whoever shows a value
// follows `changed`.
#include <QObject>
#include <cstdint>
#include <string>

namespace quorrel {

struct ProxyDetails {
  std::string host;
  std::uint32_t port = 0;
  std::string userName;  // authenticates with the proxy only
  std::string password;
};

// What the update fetches besides the catalogue, by the number the settings file stores. A number of no
// mode fetches the catalogue only, and is written back as it was read.
enum class UpdateMode : std::uint8_t {
  Unset = 0,
  CatalogueOnly = 1,
  WithScreenshots = 2,  // and the screenshots
  WholeBase = 3,        // and the screenshots and the games' files
};

class Settings : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

  // The start-up read of Quorrel.ini: update server, update mode and folder pictures, the proxy (only when
  // it is on), the port, speed and automatic compilation, the sort mode. Throws the file's or a number's
  // error, keeping what was read before it.
  void readAtStartUp(const std::string& path);

  const std::string& updateServer() const { return updateServer_; }
  void setUpdateServer(const std::string& server) { updateServer_ = server; }
  // Unset until a file or the user chose one.
  UpdateMode updateMode() const { return updateMode_; }
  void setUpdateMode(UpdateMode mode) { updateMode_ = mode; }
  bool updateFolderPictures() const { return updateFolderPictures_; }
  void setUpdateFolderPictures(bool on) { updateFolderPictures_ = on; }

  // The proxy details transfers use; empty (port 0) while the saved settings have the proxy off.
  const ProxyDetails& proxy() const { return proxy_; }
  void setProxy(const ProxyDetails& proxy) { proxy_ = proxy; }
  // Whether transfers go through the proxy: the tick of "Использовать прокси сервер" as the dialog shows it.
  bool useProxy() const { return useProxy_; }
  void setUseProxy(bool on) { useProxy_ = on; }

  const std::string& comPort() const { return comPort_; }
  void setComPort(const std::string& port) { comPort_ = port; }
  int comSpeed() const { return comSpeed_; }
  void setComSpeed(int speed) { comSpeed_ = speed; }

  bool autoCompileJava() const { return autoCompileJava_; }
  void setAutoCompileJava(bool on);
  // The two sort marks of the menu; either command swaps both.
  bool alphabeticalSort() const { return alphabeticalSort_; }
  bool manualSort() const { return manualSort_; }
  void setSortMarks(bool alphabetical, bool manual);
  // Whether the start-up read reached the sort mode's line and took it from the file.
  bool sortModeRead() const { return sortModeRead_; }

 signals:
  // A value shown by a menu mark changed.
  void changed();

 private:
  std::string updateServer_;
  UpdateMode updateMode_ = UpdateMode::Unset;
  bool updateFolderPictures_ = false;
  ProxyDetails proxy_;
  bool useProxy_ = false;
  std::string comPort_;
  int comSpeed_ = 0;
  bool autoCompileJava_ = true;
  bool alphabeticalSort_ = true;
  bool manualSort_ = false;
  bool sortModeRead_ = false;
};

}  // namespace quorrel
