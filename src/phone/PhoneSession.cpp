// The phone commands of the main window: connect, disconnect, the plugin's log and progress, uploading games
// and compiling the phone's Java list.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cstring>

#include "app/MainWindow.h"
#include "common/Ansi.h"
#include "common/Paths.h"
#include "phone/PluginBinding.h"

using quorrel::fromAnsi;

namespace {

const QString NotConnected = QStringLiteral("Соединение не установлено");

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

// ---- Connection ----------------------------------------------------------------------------------------
void MainWindow::connectPhone() {
  const std::uint8_t port = comPortNumber(comPort);
  std::int32_t result = 0;
  // A port name the plugin cannot know is a failed connection; the plugin is not asked.
  if (port != 0) {
    result = PluginBinding::PluginConnect(
        port, comSpeed, [this](const std::string& text) { showPluginLog(text); },
        [this](const std::string& source, const std::string& target, int percent) {
          showPluginProgress(source, target, percent);
        });
  }
  statusPanels->setPanelText(0, (result & 0xFF) != 0 ? QStringLiteral("Соединение установлено") : NotConnected);
  if (!PluginBinding::PluginConnected()) {
    logCommand(QStringLiteral(" Не удалось установить соединение с телефоном."));
    return;
  }
  connectAction->setEnabled(false);
  disconnectAction->setEnabled(true);

  statusPanels->setPanelText(1, fromAnsi(PluginBinding::PluginSendCommand("AT+CGMI").body));
  statusPanels->setPanelText(2, fromAnsi(PluginBinding::PluginSendCommand("AT+CGMM").body));
  statusPanels->setPanelText(3, fromAnsi(PluginBinding::PluginSendCommand("AT+CGSN").body));

  phoneList->clear();
  SghfsFindData entry{};
  const SghfsHandle h = PluginBinding::PluginFindFirst("/java/", entry);
  if (h != SGHFS_INVALID_HANDLE) {
    phoneList->addItem(phoneListEntry(entry));
    while (PluginBinding::PluginFindNext(h, entry)) phoneList->addItem(phoneListEntry(entry));
    PluginBinding::PluginFindClose(h);
  }

  statusPanels->setPanelText(4, QString());
  progressBar->setValue(0);
  connectionButton->setIcon(QIcon(disconnectPicture->pixmap()));
  connectionButton->setToolTip(QStringLiteral("Отключиться от телефона"));
  connectionButton->setAccessibleName(QStringLiteral("Отключиться от телефона"));
  if (!currentGameScreen.empty()) uploadGameButton->show();
  logCommand(QStringLiteral(" Установлено соединение с телефоном ") + statusPanels->panelText(2).left(8) +
             QStringLiteral("."));
}

void MainWindow::disconnectPhone() {
  PluginBinding::PluginDisconnect();
  insertLine(timeText() + QStringLiteral(" Соединение с телефоном разорвано."));
  connectAction->setEnabled(true);
  disconnectAction->setEnabled(false);
  statusPanels->setPanelText(0, NotConnected);
  uploadGameButton->hide();
  for (int panel = 1; panel <= 3; ++panel) statusPanels->setPanelText(panel, QString());
  connectionButton->setIcon(QIcon(connectPicture->pixmap()));
  connectionButton->setToolTip(QStringLiteral("Соединиться с телефоном"));
  connectionButton->setAccessibleName(QStringLiteral("Соединиться с телефоном"));
}

void MainWindow::toggleConnection() {
  if (statusPanels->panelText(0) == NotConnected) {
    connectPhone();
  } else {
    disconnectPhone();
  }
}

// The plugin reports while it holds the main thread, so these paint at once instead of waiting for the
// event loop.
void MainWindow::showPluginLog(const std::string& text) {
  statusPanels->setPanelText(4, fromAnsi(text));
  statusPanels->panel(4)->repaint();
}

void MainWindow::showPluginProgress(const std::string& /*source*/, const std::string& target, int percent) {
  // Drawn against the bar's present range; a value outside it shows as the nearest end. Only what changed is
  // painted: drawing the bar costs far more than a copy's step at full speed.
  const int value = std::clamp(percent, progressBar->minimum(), progressBar->maximum());
  if (value != progressBar->value()) {
    progressBar->setValue(value);
    progressBar->repaint();
  }
  const QString text = fromAnsi(target);
  if (text != transferLabel->text()) {
    transferLabel->setText(text);
    transferLabel->repaint();
  }
}

// ---- Upload and compilation ----------------------------------------------------------------------------
namespace {

// Copies one game's descriptor, then its archive, into the phone's Java folder, logging each outcome.
void sendGame(MainWindow& form, const std::string& file) {
  for (const char* ext : {"jad", "jar"}) {
    const std::string phonePath = "/java/" + file + "_suite." + ext;
    std::string remote = phonePath;
    const std::int32_t result =
        PluginBinding::PluginPutFile(quorrel::localPath("Base\\games\\" + file + "." + ext), remote, true);
    if (result == SGHFS_FILE_OK) {
      form.logCommand(QStringLiteral(" Файл ") + fromAnsi(remote) + QStringLiteral(" отправлен в телефон."));
    } else {
      form.logCommand(QStringLiteral(" Не удалось отправить файл ") + fromAnsi(phonePath) +
                      QStringLiteral(" в телефон."));
    }
  }
}

}  // namespace

void MainWindow::uploadCurrentGame() {
  if (busy) return;
  busy = true;
  catalogueTree->setEnabled(false);
  AtExit done([this] {
    catalogueTree->setEnabled(true);
    progressBar->setValue(0);
    transferLabel->clear();
    statusPanels->setPanelText(4, QString());
    busy = false;
  });
  sendGame(*this, currentGameFile);
  if (autoCompileAction->isChecked()) compileJava();
}

void MainWindow::uploadMarkedGames() {
  if (busy) return;
  busy = true;
  AtExit done([this] { busy = false; });
  const int count = std::min(gameCount, quorrel::GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (games[static_cast<std::size_t>(i)].Selected != 0) sendGame(*this, games[static_cast<std::size_t>(i)].File);
  }
  if (autoCompileAction->isChecked()) compileJava();
}

void MainWindow::compileJava() {
  logCommand(QStringLiteral(" Начинается компиляция java."));
  AtExit done([this] {
    transferLabel->clear();
    statusPanels->setPanelText(4, QString());
    progressBar->setValue(0);
    progressBar->setMaximum(100);
  });
  if (statusPanels->panelText(0) == NotConnected) {
    logCommand(QStringLiteral(" Телефон должен быть подключен для перекомпиляции Java."));
    return;
  }
  PluginBinding::PluginCompileJava(true, [this](std::string& list) { orderJavaList(list); });
  logCommand(QStringLiteral(" Компиляция java завершена."));
}
