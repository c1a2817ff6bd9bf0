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

#include "app/CommUnit.h"
#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "net/HTTPGet.h"

using quorrel::fromAnsi;

namespace {

// The phone browser the server sees in every request.
const char* const PhoneBrowserAgent = "SAMSUNG-SGH-X100/PEARL UP.Browser/6.1.0.6 (GUI) MMP/1.0";

bool proxyTicked(const TMainForm& form) {
  return form.CommPortForm && form.CommPortForm->CheckBox2 && form.CommPortForm->CheckBox2->isChecked();
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
void endCommand(TMainForm& form) {
  form.TreeView1->setEnabled(true);
  form.Busy = false;
  form.ProgressBar1->setMaximum(100);
  form.ProgressBar1->setValue(0);
  form.Label6->clear();
}

template <typename Body>
void runDownloadCommand(TMainForm& form, Body body) {
  if (form.Busy) return;
  form.Busy = true;
  form.TreeView1->setEnabled(false);
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

void TMainForm::ConfigureHTTPGetFile() {
  THTTPGet& h = *HTTPGetFile;
  h.AcceptTypes = "*/*";
  h.Agent = PhoneBrowserAgent;
  h.BinaryData = true;
  h.UseCache = true;
  h.UseProxy = TUseProxy::Preconfig;
  h.ProxyPort = 0;
  h.WaitThread = true;
  h.OnProgress = [this](QObject* sender, int totalSize, int readed) { HTTPGetFileProgress(sender, totalSize, readed); };
  h.OnDoneFile = [this](QObject* sender, const std::string& fileName, int fileSize) {
    HTTPGetFileDoneFile(sender, fileName, fileSize);
  };
  h.OnError = [this](QObject* sender) { HTTPGetFileError(sender); };
}

void TMainForm::DownloadFromServer(const std::string& relativePath) {
  HTTPGetFile->UseProxy = proxyTicked(*this) ? TUseProxy::Proxy : TUseProxy::Direct;
  const std::string url = UpdateServer + relativePath;
  const std::string native = quorrel::nativePath(relativePath);
  const std::string local = quorrel::currentDir() + native;
  if (!staysInside(native)) {
    // A name from the server that would write outside the working folder is never fetched, nor even
    // asked about.
    HTTPGetFile->URL = url;
    HTTPGetFile->FileName = local;
    HTTPGetFileError(HTTPGetFile);
    return;
  }
  const int remote = RemoteFileSize(url);

  bool fetch = true;
  if (quorrel::fileExists(local)) {
    if (LocalFileSize(local) == remote) {
      fetch = false;
    } else if (OverwriteAll) {
      fetch = true;
    } else if (SkipAll) {
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
          SkipAll = true;
          fetch = false;
          break;
        case quorrel::MsgButton::YesToAll:
          OverwriteAll = true;
          break;
        default:
          break;
      }
    }
  }
  if (!fetch) return;

  Label6->setText(fromAnsi(relativePath));
  LogCommand(QStringLiteral(" Получение файла ") + fromAnsi(relativePath) + QStringLiteral(" (рамер ") +
             QString::number(remote) + QStringLiteral(" байт)."));
  HTTPGetFile->URL = url;
  HTTPGetFile->FileName = local;
  createFoldersOf(native);
  HTTPGetFile->StartDownload();
}

int TMainForm::RemoteFileSize(const std::string& url) {
  LogCommand(QStringLiteral(" Проверяю размер файла ") + fromAnsi(url) + QStringLiteral("."));
  HTTPGetFile->URL = url;
  return HTTPGetFile->QueryRemoteSize();
}

int TMainForm::LocalFileSize(const std::string& path) {
  const long long size = quorrel::fileSize(path);
  if (size < 0) quorrel::throwIoError(errno);
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

void TMainForm::HTTPGetFileProgress(QObject* /*sender*/, int totalSize, int readed) {
  ProgressBar1->setMaximum(totalSize);
  ProgressBar1->setValue(readed);
}

void TMainForm::HTTPGetFileDoneFile(QObject* /*sender*/, const std::string& /*fileName*/, int fileSize) {
  LogCommand(QStringLiteral(" Файл ") + fromAnsi(HTTPGetFile->URL) + QStringLiteral(" успешно скачан! (") +
             QString::number(fileSize) + QStringLiteral("байт.)"));
}

void TMainForm::HTTPGetFileError(QObject* /*sender*/) {
  LogCommand(QStringLiteral(" Произошла ошибка при скачивании файла ") + fromAnsi(HTTPGetFile->URL));
  TreeView1->setEnabled(true);
  ProgressBar1->setValue(0);
  Label6->clear();
  StatusBar1->setPanelText(4, QString());
  Busy = false;
}

void TMainForm::SpeedButton2Click() {
  runDownloadCommand(*this, [this] {
    const std::string folder = quorrel::currentDir() + "Base/games/";
    ensureFolder(folder, "Не могу создать папку" + folder);
    DownloadFromServer("Base/games/" + CurrentGameFile + ".jad");
    DownloadFromServer("Base/games/" + CurrentGameFile + ".jar");
    SpeedButton2->hide();
    prompter().message(QStringLiteral("Игра успешно скачана!"));
  });
}

void TMainForm::SpeedButton3Click() {
  runDownloadCommand(*this, [this] {
    ensureFolder(quorrel::currentDir() + "Base/screen/", "Не могу создать папку ./Base/screen/");
    DownloadFromServer("Base/screen/" + CurrentGameScreen);
    ShowPicture(quorrel::currentDir() + "Base/screen/" + CurrentGameScreen);
    SpeedButton3->hide();
    prompter().message(QStringLiteral("Файл успешно загружен!"));
  });
}
