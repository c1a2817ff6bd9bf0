// Single downloads from the update server: the download routine with its size check, the handlers of the
// download component's events, and the game and screenshot download commands.
#include "net/Downloads.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <strings.h>
#include <vector>

#include "catalogue/Catalogue.h"
#include "common/Ansi.h"
#include "common/CommandState.h"
#include "common/Errors.h"
#include "common/MessageLog.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/ShownText.h"
#include "common/WorkingFolder.h"
#include "net/HttpGet.h"
#include "settings/Settings.h"

namespace quorrel {

namespace {

// The phone browser the server sees in every request.
const char* const PhoneBrowserAgent = "SAMSUNG-SGH-X100/PEARL UP.Browser/6.1.0.6 (GUI) MMP/1.0";

// Creates the missing folders of a relative file path below the current directory, one level at a time.
// A folder that cannot be made is left to the transfer, which then fails.
void createFoldersOf(const std::string& native) {
  const std::string base = currentDir();
  for (auto slash = native.find('/'); slash != std::string::npos; slash = native.find('/', slash + 1)) {
    const std::string folder = base + native.substr(0, slash);
    if (!directoryExists(folder) && !createDirectory(folder)) return;
  }
}

void ensureFolder(const std::string& folder, const std::string& message) {
  if (!directoryExists(folder) && !createDirectory(folder)) throw QuorrelError(message);
}

// "Игра не скачана: не получен файл Base/games/a.jad." or, for several, "... не получены файлы A и B."
QString notArrived(const QString& what, const std::vector<std::string>& paths) {
  QStringList names;
  for (const std::string& path : paths) names << fromAnsi(path);
  return what + (names.size() == 1 ? QStringLiteral(": не получен файл ") : QStringLiteral(": не получены файлы ")) +
         names.join(QStringLiteral(" и ")) + QStringLiteral(".");
}

bool isPicture(const std::string& path) {
  const auto under = [&](const char* folder) { return path.compare(0, std::strlen(folder), folder) == 0; };
  const bool gif = path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".gif") == 0;
  return under(workfolder::Screenshots) || (under(workfolder::FolderPictures) && gif);
}

}  // namespace

Downloads::Downloads(QObject* owner, const Settings& settings, Catalogue& catalogue, MessageLog& log,
                     Prompter& prompter, CommandState& commands, TransferView& view)
    : settings_(settings),
      catalogue_(catalogue),
      log_(log),
      prompter_(prompter),
      commands_(commands),
      view_(view),
      http_(new HttpGet(owner)) {
  http_->setObjectName(QStringLiteral("downloader"));
  configure();
}

// The progress line every download command leaves empty, also after an error.
void Downloads::endCommand() {
  view_.resetProgress(true);
  view_.clearTransferLine();
}

template <typename Body>
void Downloads::runCommand(Body body) {
  if (commands_.busy()) return;
  try {
    const CommandScope running(commands_, CommandHold::CommandsAndCatalogue);
    body();
  } catch (...) {
    endCommand();
    throw;
  }
  endCommand();
}

void Downloads::configure() {
  HttpGet& h = *http_;
  h.options.acceptTypes = "*/*";
  h.options.agent = PhoneBrowserAgent;
  h.options.binaryData = true;
  h.options.useCache = true;
  h.options.useProxy = ProxyMode::Preconfig;
  h.options.proxyPort = 0;
  h.options.waitThread = true;
  h.handlers.progress = [this](int totalSize, int bytesRead) { progress(totalSize, bytesRead); };
  h.handlers.done = [this](const std::string& /*fileName*/, int fileSize) { done(fileSize); };
  h.handlers.failed = [this] { transferFailed(); };
}

DownloadResult Downloads::downloadFromServer(const std::string& relativePath) {
  const std::string url = settings_.updateServer() + relativePath;
  // The URL keeps the catalogue's bytes; on disk the name is in the platform's encoding.
  const std::string local = pathInFolder(std::string(), relativePath);
  if (local.empty()) {
    // A name from the server that would write outside the working folder is never fetched, nor even
    // asked about.
    failed(url);
    return DownloadResult::Failed;
  }
  if (holdsControlBytes(relativePath)) {
    // Nor is one that holds a line break or another control character: no file is given such a name.
    failed(url);
    return DownloadResult::Failed;
  }
  const int remote = remoteFileSize(url);

  bool fetch = true;
  if (fileExists(local)) {
    if (localFileSize(local) == remote) {
      fetch = false;
    } else if (answers_.overwriteAll) {
      fetch = true;
    } else if (answers_.skipAll) {
      fetch = false;
    } else {
      MessageRequest question;
      question.title = QStringLiteral("Confirm");
      question.text =
          QStringLiteral("Размер файла ") + fromAnsi(relativePath) + QStringLiteral(" изменился. Обновить?");
      question.icon = MsgIcon::Question;
      question.buttons = {MsgButton::Yes, MsgButton::No, MsgButton::NoToAll, MsgButton::YesToAll};
      switch (prompter_.ask(question)) {
        case MsgButton::No:
          fetch = false;
          break;
        case MsgButton::NoToAll:
          answers_.skipAll = true;
          fetch = false;
          break;
        case MsgButton::YesToAll:
          answers_.overwriteAll = true;
          break;
        default:
          break;
      }
    }
  }
  if (!fetch) return DownloadResult::Kept;

  const QString transferLine = QStringLiteral(" Получение файла ") + fromAnsi(relativePath) +
                               QStringLiteral(" (рамер ") + QString::number(remote) + QStringLiteral(" байт).");
  // A transfer started before this one may still run (or have ended while the question waited). The component
  // would refuse this start; it is not made, and the running transfer keeps its settings, so that its outcome
  // line names the URL it really fetches.
  if (http_->busy()) {
    log_.logCommand(transferLine);  // a refused start leaves no outcome line
    return DownloadResult::Failed;
  }
  view_.showTransferName(shownLabel(fromAnsi(relativePath)));
  log_.logCommand(transferLine);
  useProxySettings();
  http_->options.maxBodySize = isPicture(relativePath) ? MaxPictureBytes : 0;
  createFoldersOf(diskName(relativePath));
  bool arrived = false;
  struct Note {
    bool*& slot;
    bool* const outer;
    ~Note() { slot = outer; }
  } note{arrival_, arrival_};
  arrival_ = &arrived;
  transferPath_ = relativePath;
  http_->start(HttpRequest{url, local, std::string(), std::string()});
  transferPath_.clear();
  return arrived ? DownloadResult::Arrived : DownloadResult::Failed;
}

DownloadResult Downloads::downloadInFolder(const std::string& folder, const std::string& name) {
  if (staysInFolder(name)) return downloadFromServer(folder + name);
  failed(settings_.updateServer() + folder + name);
  return DownloadResult::Failed;
}

void Downloads::useProxySettings() {
  const ProxyDetails& proxy = settings_.proxy();
  http_->options.proxyHost = proxy.host;
  http_->options.proxyPort = proxy.port;
  http_->options.userName = proxy.userName;
  http_->options.password = proxy.password;
  http_->options.useProxy = settings_.useProxy() ? ProxyMode::Proxy : ProxyMode::Direct;
}

int Downloads::remoteFileSize(const std::string& url) {
  log_.logCommand(QStringLiteral(" Проверяю размер файла ") + fromAnsi(url) + QStringLiteral("."));
  if (http_->busy()) return -1;  // refused by the component, without a failure line
  useProxySettings();
  return http_->remoteSize(url);
}

int Downloads::localFileSize(const std::string& path) {
  const long long size = fileSize(path);
  if (size < 0) throwIoError(errno);
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

void Downloads::progress(int totalSize, int bytesRead) {
  view_.showTransferProgress(totalSize, bytesRead);
}

void Downloads::done(int fileSize) {
  if (arrival_) *arrival_ = true;
  log_.logCommand(QStringLiteral(" Файл ") + fromAnsi(http_->request().url) + QStringLiteral(" успешно скачан! (") +
                  QString::number(fileSize) + QStringLiteral("байт.)"));
}

void Downloads::transferFailed() {
  lastFailure_ = http_->lastFailure();
  if (http_->lastRefused()) {
    refused_.push_back({transferPath_, lastFailure_});
    log_.logCommand(QStringLiteral(" Ответ на запрос ") + fromAnsi(http_->request().url) +
                    QStringLiteral(" не принят: ") + QString::fromStdString(lastFailure_));
  }
  failed(http_->request().url);
}

void Downloads::failed(const std::string& url) {
  log_.logCommand(QStringLiteral(" Произошла ошибка при скачивании файла ") + fromAnsi(url));
  view_.resetProgress(false);
  view_.clearTransferLine();
  view_.clearPluginStatus();
  commands_.releaseAfterFailure();
}

void Downloads::downloadGame() {
  runCommand([this] {
    const std::string folder = currentDir() + workfolder::Games;
    ensureFolder(folder, "Не могу создать папку" + folder);
    std::vector<std::string> missing;
    for (const char* extension : {".jad", ".jar"}) {
      const std::string name = catalogue_.currentGameFile() + extension;
      if (downloadInFolder(workfolder::Games, name) == DownloadResult::Failed) missing.push_back(workfolder::Games + name);
    }
    if (!missing.empty()) {
      prompter_.error(notArrived(QStringLiteral("Игра не скачана"), missing));
      return;
    }
    view_.gameDownloaded();
    prompter_.message(QStringLiteral("Игра успешно скачана!"));
  });
}

void Downloads::downloadScreenshot() {
  runCommand([this] {
    ensureFolder(currentDir() + workfolder::Screenshots, std::string("Не могу создать папку ./") + workfolder::Screenshots);
    const std::string& screen = catalogue_.currentGameScreen();
    const std::string path = workfolder::Screenshots + screen;
    const DownloadResult result = downloadInFolder(workfolder::Screenshots, screen);
    // A copy kept from before is still shown; without any copy the picture's own error is the report. A
    // name that leaves the folder was refused above and is not read either.
    if (staysInFolder(screen)) view_.showScreenshot(localPath(path));
    if (result == DownloadResult::Failed) {
      prompter_.error(notArrived(QStringLiteral("Скриншот не скачан"), {path}));
      return;
    }
    view_.screenshotDownloaded();
    prompter_.message(QStringLiteral("Файл успешно загружен!"));
  });
}

}  // namespace quorrel
