// The main window's side of every transfer: the download routine with its size check, the handlers of the
// download component's events, and the game and screenshot download commands.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>
#include <cerrno>
#include <climits>

#include "app/MainWindow.h"
#include "app/SettingsDialog.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "net/HttpGet.h"

using quorrel::fromAnsi;

namespace {

// The phone browser the server sees in every request.
const char* const PhoneBrowserAgent = "SAMSUNG-SGH-X100/PEARL UP.Browser/6.1.0.6 (GUI) MMP/1.0";

bool proxyTicked(const MainWindow& form) {
  return form.settingsDialog && form.settingsDialog->useProxyBox && form.settingsDialog->useProxyBox->isChecked();
}

// A path that stays inside the current directory: relative, without ".." components.
bool staysInside(const std::string& native) {
  if (native.empty() || native[0] == '/') return false;
  std::size_t start = 0;
  while (start <= native.size()) {
    const auto end = std::min(native.find('/', start), native.size());
    if (native.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  return true;
}

// Creates the missing folders of a relative file path below the current directory, one level at a time.
// A folder that cannot be made is left to the transfer, which then fails.
void createFoldersOf(const std::string& native) {
  const std::string base = quorrel::currentDir();
  for (auto slash = native.find('/'); slash != std::string::npos; slash = native.find('/', slash + 1)) {
    const std::string folder = base + native.substr(0, slash);
    if (!quorrel::directoryExists(folder) && !quorrel::createDirectory(folder)) return;
  }
}

// The idle state every download command ends in, also after an error.
void endCommand(MainWindow& form) {
  form.catalogueTree->setEnabled(true);
  form.busy = false;
  form.progressBar->setMaximum(100);
  form.progressBar->setValue(0);
  form.transferLabel->clear();
}

template <typename Body>
void runDownloadCommand(MainWindow& form, Body body) {
  if (form.busy) return;
  form.busy = true;
  form.catalogueTree->setEnabled(false);
  try {
    body();
  } catch (...) {
    endCommand(form);
    throw;
  }
  endCommand(form);
}

void ensureFolder(const std::string& folder, const std::string& message) {
  if (!quorrel::directoryExists(folder) && !quorrel::createDirectory(folder)) throw quorrel::QuorrelError(message);
}

}  // namespace

void MainWindow::configureDownloader() {
  HttpGet& h = *downloader;
  h.AcceptTypes = "*/*";
  h.Agent = PhoneBrowserAgent;
  h.BinaryData = true;
  h.UseCache = true;
  h.UseProxy = ProxyMode::Preconfig;
  h.ProxyPort = 0;
  h.WaitThread = true;
  h.OnProgress = [this](QObject* sender, int totalSize, int readed) { downloadProgress(sender, totalSize, readed); };
  h.OnDoneFile = [this](QObject* sender, const std::string& fileName, int fileSize) {
    downloadDone(sender, fileName, fileSize);
  };
  h.OnError = [this](QObject* sender) { downloadFailed(sender); };
}

void MainWindow::downloadFromServer(const std::string& relativePath) {
  downloader->UseProxy = proxyTicked(*this) ? ProxyMode::Proxy : ProxyMode::Direct;
  const std::string url = updateServer + relativePath;
  const int remote = remoteFileSize(url);

  const std::string native = quorrel::nativePath(relativePath);
  const std::string local = quorrel::currentDir() + native;
  bool fetch = true;
  if (quorrel::fileExists(local)) {
    if (localFileSize(local) == remote) {
      fetch = false;
    } else if (overwriteAll) {
      fetch = true;
    } else if (skipAll) {
      fetch = false;
    } else {
      quorrel::MessageRequest question;
      question.title = QStringLiteral("Confirm");
      question.text =
          QStringLiteral("Размер файла ") + fromAnsi(relativePath) + QStringLiteral(" изменился. Обновить?");
      question.icon = quorrel::MsgIcon::Question;
      question.buttons = {quorrel::MsgButton::Yes, quorrel::MsgButton::No, quorrel::MsgButton::NoToAll,
                          quorrel::MsgButton::YesToAll};
      switch (prompter().ask(question)) {
        case quorrel::MsgButton::No:
          fetch = false;
          break;
        case quorrel::MsgButton::NoToAll:
          skipAll = true;
          fetch = false;
          break;
        case quorrel::MsgButton::YesToAll:
          overwriteAll = true;
          break;
        default:
          break;
      }
    }
  }
  if (!fetch) return;

  transferLabel->setText(fromAnsi(relativePath));
  logCommand(QStringLiteral(" Получение файла ") + fromAnsi(relativePath) + QStringLiteral(" (рамер ") +
             QString::number(remote) + QStringLiteral(" байт)."));
  downloader->URL = url;
  downloader->FileName = local;
  if (!staysInside(native)) {
    // A name from the server that would write outside the working folder is never fetched.
    downloadFailed(downloader);
    return;
  }
  createFoldersOf(native);
  downloader->StartDownload();
}

int MainWindow::remoteFileSize(const std::string& url) {
  logCommand(QStringLiteral(" Проверяю размер файла ") + fromAnsi(url) + QStringLiteral("."));
  downloader->URL = url;
  return downloader->QueryRemoteSize();
}

int MainWindow::localFileSize(const std::string& path) {
  const long long size = quorrel::fileSize(path);
  if (size < 0) quorrel::throwIoError(errno);
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

void MainWindow::downloadProgress(QObject* /*sender*/, int totalSize, int readed) {
  progressBar->setMaximum(totalSize);
  progressBar->setValue(readed);
}

void MainWindow::downloadDone(QObject* /*sender*/, const std::string& /*fileName*/, int fileSize) {
  logCommand(QStringLiteral(" Файл ") + fromAnsi(downloader->URL) + QStringLiteral(" успешно скачан! (") +
             QString::number(fileSize) + QStringLiteral("байт.)"));
}

void MainWindow::downloadFailed(QObject* /*sender*/) {
  logCommand(QStringLiteral(" Произошла ошибка при скачивании файла ") + fromAnsi(downloader->URL));
  catalogueTree->setEnabled(true);
  progressBar->setValue(0);
  transferLabel->clear();
  statusPanels->setPanelText(4, QString());
  busy = false;
}

void MainWindow::downloadGame() {
  runDownloadCommand(*this, [this] {
    const std::string folder = quorrel::currentDir() + "Base/games/";
    ensureFolder(folder, "Не могу создать папку" + folder);
    downloadFromServer("Base/games/" + currentGameFile + ".jad");
    downloadFromServer("Base/games/" + currentGameFile + ".jar");
    downloadGameButton->hide();
    prompter().message(QStringLiteral("Игра успешно скачана!"));
  });
}

void MainWindow::downloadScreenshot() {
  runDownloadCommand(*this, [this] {
    ensureFolder(quorrel::currentDir() + "Base/screen/", "Не могу создать папку ./Base/screen/");
    downloadFromServer("Base/screen/" + currentGameScreen);
    showPicture(quorrel::currentDir() + "Base/screen/" + currentGameScreen);
    downloadScreenshotButton->hide();
    prompter().message(QStringLiteral("Файл успешно загружен!"));
  });
}
