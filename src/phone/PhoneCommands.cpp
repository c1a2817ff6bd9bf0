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
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/Paths.h"
#include "phone/SGHFS.h"

using quorrel::fromAnsi;

namespace {

const QString NotConnected = QStringLiteral("Соединение не установлено");

// A listing stops here, so a plugin whose FsFindNext never says "no more" cannot hold the window forever.
constexpr int MaxPhoneEntries = 100000;

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
void TMainForm::N4Click() {
  const std::uint8_t port = comPortNumber(ComPort);
  std::int32_t result = 0;
  // A port name the plugin cannot know is a failed connection; the plugin is not asked.
  if (port != 0) {
    result = SGHFS::PluginConnect(
        port, ComSpeed, [this](const std::string& text) { ShowPluginLog(text); },
        [this](const std::string& source, const std::string& target, int percent) {
          ShowPluginProgress(source, target, percent);
        });
  }
  StatusBar1->setPanelText(0, (result & 0xFF) != 0 ? QStringLiteral("Соединение установлено") : NotConnected);
  if (!SGHFS::PluginConnected()) {
    LogCommand(QStringLiteral(" Не удалось установить соединение с телефоном."));
    return;
  }
  N4->setEnabled(false);
  N10->setEnabled(true);

  StatusBar1->setPanelText(1, fromAnsi(SGHFS::PluginSendCommand("AT+CGMI").body));
  StatusBar1->setPanelText(2, fromAnsi(SGHFS::PluginSendCommand("AT+CGMM").body));
  StatusBar1->setPanelText(3, fromAnsi(SGHFS::PluginSendCommand("AT+CGSN").body));

  PhoneList->clear();
  SghfsFindData entry{};
  const SghfsHandle h = SGHFS::PluginFindFirst("/java/", entry);
  if (h != SGHFS_INVALID_HANDLE) {
    QStringList entries{phoneListEntry(entry)};
    while (SGHFS::PluginFindNext(h, entry)) {
      if (entries.size() == MaxPhoneEntries) {
        LogCommand(
            QStringLiteral(" В папке /java/ телефона больше %1 записей: показаны первые %1.").arg(MaxPhoneEntries));
        break;
      }
      entries << phoneListEntry(entry);
    }
    PhoneList->addItems(entries);
    SGHFS::PluginFindClose(h);
  }

  StatusBar1->setPanelText(4, QString());
  ProgressBar1->setValue(0);
  SpeedButton6->setIcon(QIcon(Image2->pixmap()));
  SpeedButton6->setToolTip(QStringLiteral("Отключиться от телефона"));
  SpeedButton6->setAccessibleName(QStringLiteral("Отключиться от телефона"));
  if (!CurrentGameScreen.empty()) SpeedButton1->show();
  LogCommand(QStringLiteral(" Установлено соединение с телефоном ") + StatusBar1->panelText(2).left(8) +
             QStringLiteral("."));
}

void TMainForm::N10Click() {
  SGHFS::PluginDisconnect();
  InsertLogLine(TimeText() + QStringLiteral(" Соединение с телефоном разорвано."));
  N4->setEnabled(true);
  N10->setEnabled(false);
  StatusBar1->setPanelText(0, NotConnected);
  SpeedButton1->hide();
  for (int panel = 1; panel <= 3; ++panel) StatusBar1->setPanelText(panel, QString());
  SpeedButton6->setIcon(QIcon(Image1->pixmap()));
  SpeedButton6->setToolTip(QStringLiteral("Соединиться с телефоном"));
  SpeedButton6->setAccessibleName(QStringLiteral("Соединиться с телефоном"));
}

void TMainForm::SpeedButton6Click() {
  if (StatusBar1->panelText(0) == NotConnected) {
    N4Click();
  } else {
    N10Click();
  }
}

// The plugin reports while it holds the main thread, so these paint at once instead of waiting for the
// event loop.
void TMainForm::ShowPluginLog(const std::string& text) {
  StatusBar1->setPanelText(4, fromAnsi(text));
  StatusBar1->panel(4)->repaint();
}

void TMainForm::ShowPluginProgress(const std::string& /*source*/, const std::string& target, int percent) {
  // Drawn against the bar's present range; a value outside it shows as the nearest end. Only what changed is
  // painted: drawing the bar costs far more than a copy's step at full speed.
  const int value = std::clamp(percent, ProgressBar1->minimum(), ProgressBar1->maximum());
  if (value != ProgressBar1->value()) {
    ProgressBar1->setValue(value);
    ProgressBar1->repaint();
  }
  const QString text = fromAnsi(target);
  if (text != Label6->text()) {
    Label6->setText(text);
    Label6->repaint();
  }
}

// ---- Upload and compilation ----------------------------------------------------------------------------
namespace {

// A game's file name names a file in Base\games and in the phone's Java folder; one that could name a file
// elsewhere (a catalogue may come from anywhere) is never passed on.
bool safeGameFile(const std::string& file) {
  return file.find_first_of("/\\") == std::string::npos && file.find("..") == std::string::npos;
}

// Copies one game's descriptor, then its archive, into the phone's Java folder, logging each outcome.
void sendGame(TMainForm& form, const std::string& file) {
  if (!safeGameFile(file)) {
    form.LogCommand(QStringLiteral(" Недопустимое имя файла игры \"") + fromAnsi(file) +
                    QStringLiteral("\": игра не отправлена в телефон."));
    return;
  }
  for (const char* ext : {"jad", "jar"}) {
    const std::string phonePath = "/java/" + file + "_suite." + ext;
    std::string remote = phonePath;
    const std::int32_t result =
        SGHFS::PluginPutFile(quorrel::localPath("Base\\games\\" + file + "." + ext), remote, true);
    if (result == SGHFS_FILE_OK) {
      form.LogCommand(QStringLiteral(" Файл ") + fromAnsi(remote) + QStringLiteral(" отправлен в телефон."));
    } else {
      form.LogCommand(QStringLiteral(" Не удалось отправить файл ") + fromAnsi(phonePath) +
                      QStringLiteral(" в телефон."));
    }
  }
}

}  // namespace

void TMainForm::SpeedButton1Click() {
  if (Busy) return;
  Busy = true;
  TreeView1->setEnabled(false);
  AtExit done([this] {
    TreeView1->setEnabled(true);
    ProgressBar1->setValue(0);
    Label6->clear();
    StatusBar1->setPanelText(4, QString());
    Busy = false;
  });
  sendGame(*this, CurrentGameFile);
  if (Java1->isChecked()) SpeedButton5Click();
}

void TMainForm::SpeedButton10Click() {
  if (Busy) return;
  Busy = true;
  AtExit done([this] { Busy = false; });
  const int count = std::min(GameCount, quorrel::GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (JavaBase[static_cast<std::size_t>(i)].Selected != 0)
      sendGame(*this, JavaBase[static_cast<std::size_t>(i)].File);
  }
  if (Java1->isChecked()) SpeedButton5Click();
}

void TMainForm::SpeedButton5Click() {
  LogCommand(QStringLiteral(" Начинается компиляция java."));
  AtExit done([this] {
    Label6->clear();
    StatusBar1->setPanelText(4, QString());
    ProgressBar1->setValue(0);
    ProgressBar1->setMaximum(100);
  });
  if (StatusBar1->panelText(0) == NotConnected) {
    LogCommand(QStringLiteral(" Телефон должен быть подключен для перекомпиляции Java."));
    return;
  }
  std::vector<std::string> errors;
  SGHFS::PluginCompileJava(
      true, [this](std::string& list) { OrderJavaList(list); }, &errors);
  LogCommand(QStringLiteral(" Компиляция java завершена."));
  // The phone's own error line would be cleared with the status bar below; a failed rebuild stays in the log
  // and is reported.
  if (!errors.empty()) {
    QStringList texts;
    for (const std::string& e : errors) texts << fromAnsi(e);
    LogCommand(QStringLiteral(" Ошибка телефона: ") + texts.join(QStringLiteral("; ")));
    prompter().error(texts.join(QLatin1Char('\n')));
  }
}

void TMainForm::Java2Click() { SpeedButton5Click(); }
