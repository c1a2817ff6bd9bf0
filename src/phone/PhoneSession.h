#pragma once
// The phone session: connecting to the phone through the plugin and disconnecting, copying games to it, and
// having it rebuild its Java list in the order the user chooses. What the window shows of it goes through
// PhoneView.
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "phone/StatusPanel.h"

class JavaListOrderDialog;

namespace quorrel {

class CommandState;
class Catalogue;
class MessageLog;
class Prompter;
class Settings;

// The window as the phone session sees it.
class PhoneView {
 public:
  virtual ~PhoneView() = default;
  // The status bar's panels.
  virtual void setStatusText(StatusPanel panel, const QString& text) = 0;
  // The plugin's log line, painted at once: the plugin holds the main thread while it reports.
  virtual void showPluginLog(const QString& text) = 0;
  // A copy's progress and target, painted at once for the same reason.
  virtual void showPluginProgress(int percent, const QString& target) = 0;
  // The connect and disconnect commands and the connection button as they are while connected or not.
  virtual void showConnected(bool connected) = 0;
  virtual void setPhoneFiles(const QStringList& entries) = 0;
  virtual void setUploadGameVisible(bool visible) = 0;
  // Empties the progress bar (and, with `fullRange`, gives it its range of 0 to 100 again) and the transfer line.
  virtual void resetProgress(bool fullRange) = 0;
  virtual void clearTransferLine() = 0;
};

class PhoneSession {
 public:
  // Everything handed in must outlive the session; the order dialog may be null (no manual ordering).
  PhoneSession(const Settings& settings, const Catalogue& catalogue, MessageLog& log, Prompter& prompter,
               CommandState& commands, PhoneView& view);
  PhoneSession(const PhoneSession&) = delete;
  PhoneSession& operator=(const PhoneSession&) = delete;
  void setOrderDialog(JavaListOrderDialog* dialog) { orderDialog_ = dialog; }

  // Whether the plugin took the connection: set by a connect, cleared by a disconnect, also by the one that
  // follows when the plugin reports the connection lost.
  bool connected() const { return connected_; }
  void connectPhone();
  void disconnectPhone();
  // The connection button: connects or disconnects, as the session is connected or not.
  void toggleConnection();
  // Copies the game last shown to the phone; compiles the Java list afterwards when the settings say so.
  void uploadCurrentGame();
  // Copies every marked game to the phone; compiles the Java list afterwards when the settings say so.
  void uploadMarkedGames();
  // Has the phone rebuild its Java list.
  void compileJava();
  // The Java list handler of the rebuild: sorts the list alphabetically and/or lets the user order it.
  void orderJavaList(std::string& list);

 private:
  void sendGame(const std::string& file);
  void dropLostConnection(const std::vector<std::string>& errors);

  const Settings& settings_;
  const Catalogue& catalogue_;
  MessageLog& log_;
  Prompter& prompter_;
  CommandState& commands_;
  PhoneView& view_;
  bool connected_ = false;
  JavaListOrderDialog* orderDialog_ = nullptr;
};

}  // namespace quorrel
