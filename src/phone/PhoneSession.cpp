// The phone session: connect, disconnect, the plugin's log and progress, uploading games and compiling the
// phone's Java list.
#include "phone/PhoneSession.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "common/Ansi.h"
#include "common/CommandState.h"
#include "common/MessageLog.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/WorkingFolder.h"
#include "phone/JavaList.h"
#include "phone/JavaListOrderDialog.h"
#include "phone/PluginBinding.h"
#include "settings/Settings.h"

namespace quorrel {

namespace {

const QString NotConnected = QStringLiteral("Соединение не установлено");

// A listing stops here, so a plugin whose FsFindNext never says "no more" cannot hold the window forever.
constexpr int MaxPhoneEntries = 100000;

// A game's file name names a file in Base\games and in the phone's Java folder; one that could name a file
// elsewhere (a catalogue may come from anywhere) is never passed on. Besides staying in Base\games, it must be
// a plain name without "..": the phone's folder has no subfolders, and the plugin reads the name by its own rules.
bool safeGameFile(const std::string& file) {
  return staysInFolder(file) && file.find_first_of("/\\") == std::string::npos && file.find("..") == std::string::npos;
}

// "COM1" .. "COM16" -> 1 .. 16; 0 for any other text.
std::uint8_t comPortNumber(const std::string& name) {
  for (int n = 1; n <= 16; ++n) {
    if (name == "COM" + std::to_string(n)) return static_cast<std::uint8_t>(n);
  }
  return 0;
}

QString phoneListEntry(const SghfsFindData& d) {
  const std::string name(d.cFileName, ::strnlen(d.cFileName, sizeof d.cFileName));
  const QString what = (d.dwFileAttributes & SGHFS_ATTR_DIRECTORY) != 0
                           ? QStringLiteral("<DIR>")
                           : QString::number(d.nFileSizeLow) + QStringLiteral(" bytes");
  return fromAnsi(name) + QStringLiteral(" (") + what + QStringLiteral(")");
}

QStringList texts(const std::vector<std::string>& ansiTexts) {
  QStringList out;
  for (const std::string& t : ansiTexts) out << fromAnsi(t);
  return out;
}

// Runs its action when the scope ends, also when an error leaves it.
template <typename F>
class AtExit {
 public:
  explicit AtExit(F f) : f_(std::move(f)) {}
  ~AtExit() { f_(); }
  AtExit(const AtExit&) = delete;
  AtExit& operator=(const AtExit&) = delete;

 private:
  F f_;
};

}  // namespace

PhoneSession::PhoneSession(const Settings& settings, const Catalogue& catalogue, MessageLog& log, Prompter& prompter,
                           CommandState& commands, PhoneView& view)
    : settings_(settings), catalogue_(catalogue), log_(log), prompter_(prompter), commands_(commands), view_(view) {}

// ---- Connection ----------------------------------------------------------------------------------------
void PhoneSession::connectPhone() {
  const std::uint8_t port = comPortNumber(settings_.comPort());
  PluginBinding::ConnectResult result = PluginBinding::ConnectResult::NoPlugin;
  // A port name the plugin cannot know is a failed connection; the plugin is not asked.
  if (port != 0) {
    result = PluginBinding::connect(
        port, settings_.comSpeed(), [this](const std::string& text) { view_.showPluginLog(fromAnsi(text)); },
        [this](const std::string& /*source*/, const std::string& target, int percent) {
          view_.showPluginProgress(percent, fromAnsi(target));
        });
  }
  // The plugin's answer decides, as the status bar shows it.
  connected_ = result == PluginBinding::ConnectResult::Connected;
  view_.setStatusText(StatusPanel::Connection, connected_ ? QStringLiteral("Соединение установлено") : NotConnected);
  if (!PluginBinding::isConnected()) {
    log_.logCommand(QStringLiteral(" Не удалось установить соединение с телефоном."));
    return;
  }
  view_.showConnected(true);

  view_.setStatusText(StatusPanel::Maker, fromAnsi(PluginBinding::sendCommand("AT+CGMI").body));
  const QString model = fromAnsi(PluginBinding::sendCommand("AT+CGMM").body);
  view_.setStatusText(StatusPanel::Model, model);
  view_.setStatusText(StatusPanel::SerialNumber, fromAnsi(PluginBinding::sendCommand("AT+CGSN").body));

  QStringList files;
  SghfsFindData entry{};
  const SghfsHandle h = PluginBinding::findFirst("/java/", entry);
  if (h != SGHFS_INVALID_HANDLE) {
    files << phoneListEntry(entry);
    while (PluginBinding::findNext(h, entry)) {
      if (files.size() == MaxPhoneEntries) {
        log_.logCommand(
            QStringLiteral(" В папке /java/ телефона больше %1 записей: показаны первые %1.").arg(MaxPhoneEntries));
        break;
      }
      files << phoneListEntry(entry);
    }
    PluginBinding::findClose(h);
  }
  view_.setPhoneFiles(files);

  view_.setStatusText(StatusPanel::PluginMessage, QString());
  view_.resetProgress(false);
  if (!catalogue_.currentGameScreen().empty()) view_.setUploadGameVisible(true);
  log_.logCommand(QStringLiteral(" Установлено соединение с телефоном ") + model.left(8) + QStringLiteral("."));
}

void PhoneSession::disconnectPhone() {
  PluginBinding::disconnect();
  log_.insertLine(MessageLog::timeText() + QStringLiteral(" Соединение с телефоном разорвано."));
  connected_ = false;
  view_.setStatusText(StatusPanel::Connection, NotConnected);
  view_.setUploadGameVisible(false);
  for (const StatusPanel panel : PhonePanels) view_.setStatusText(panel, QString());
  view_.showConnected(false);
}

void PhoneSession::toggleConnection() {
  if (connected()) {
    disconnectPhone();
  } else {
    connectPhone();
  }
}

// ---- Upload and compilation ----------------------------------------------------------------------------

// Copies one game's descriptor, then its archive, into the phone's Java folder, logging each outcome.
void PhoneSession::sendGame(const std::string& file) {
  if (!safeGameFile(file)) {
    log_.logCommand(QStringLiteral(" Недопустимое имя файла игры \"") + fromAnsi(file) +
                    QStringLiteral("\": игра не отправлена в телефон."));
    return;
  }
  for (const char* ext : {"jad", "jar"}) {
    const std::string phonePath = "/java/" + file + "_suite." + ext;
    std::string remote = phonePath;
    std::vector<std::string> errors;
    const std::int32_t result =
        PluginBinding::putFile(localPath(workfolder::Games + file + "." + ext), remote, true, &errors);
    if (result == SGHFS_FILE_OK) {
      log_.logCommand(QStringLiteral(" Файл ") + fromAnsi(remote) + QStringLiteral(" отправлен в телефон."));
    } else {
      log_.logCommand(QStringLiteral(" Не удалось отправить файл ") + fromAnsi(phonePath) +
                      QStringLiteral(" в телефон."));
      if (connected() && PluginBinding::lostConnection()) dropLostConnection(errors);
    }
  }
}

// The plugin gave the connection up during a copy (the phone stopped answering, the cable was pulled), so the
// window must not go on showing it as connected: it disconnects as the user would, and the connect command
// is offered again. The plugin's reason goes into the log first, since closing the line replaces it in the
// status bar.
void PhoneSession::dropLostConnection(const std::vector<std::string>& errors) {
  if (!errors.empty()) log_.logCommand(QStringLiteral(" Ошибка телефона: ") + texts(errors).join(QStringLiteral("; ")));
  disconnectPhone();
}

void PhoneSession::uploadCurrentGame() {
  if (commands_.busy()) return;
  const CommandScope running(commands_, CommandHold::CommandsAndCatalogue);
  AtExit done([this] {
    view_.resetProgress(false);
    view_.clearTransferLine();
    view_.setStatusText(StatusPanel::PluginMessage, QString());
  });
  sendGame(catalogue_.currentGameFile());
  if (settings_.autoCompileJava()) compileJava();
}

void PhoneSession::uploadMarkedGames() {
  if (commands_.busy()) return;
  const CommandScope running(commands_, CommandHold::Commands);
  for (const int i : catalogue_.markedGames()) sendGame(catalogue_.game(i).file);
  if (settings_.autoCompileJava()) compileJava();
}

void PhoneSession::compileJava() {
  log_.logCommand(QStringLiteral(" Начинается компиляция java."));
  AtExit done([this] {
    view_.clearTransferLine();
    view_.setStatusText(StatusPanel::PluginMessage, QString());
    view_.resetProgress(true);
  });
  if (!connected()) {
    log_.logCommand(QStringLiteral(" Телефон должен быть подключен для перекомпиляции Java."));
    return;
  }
  std::vector<std::string> errors;
  PluginBinding::compileJava(
      true, [this](std::string& list) { orderJavaList(list); }, &errors);
  log_.logCommand(QStringLiteral(" Компиляция java завершена."));
  // The phone's own error line would be cleared with the status bar below; a failed rebuild stays in the log
  // and is reported.
  if (!errors.empty()) {
    log_.logCommand(QStringLiteral(" Ошибка телефона: ") + texts(errors).join(QStringLiteral("; ")));
    prompter_.error(texts(errors).join(QLatin1Char('\n')));
  }
}

void PhoneSession::orderJavaList(std::string& list) {
  std::vector<std::string> entries = splitJavaList(list);
  if (settings_.alphabeticalSort()) sortJavaList(entries);
  if (settings_.manualSort() && orderDialog_) orderDialog_->order(entries);
  list = joinJavaList(entries);
  if (list.size() > PluginBinding::MaxText) {
    log_.logCommand(QStringLiteral(" Список Java слишком длинный (%1 символов) и не передан в телефон: "
                                   "порядок в телефоне не изменён.")
                        .arg(list.size()));
  }
}

}  // namespace quorrel
