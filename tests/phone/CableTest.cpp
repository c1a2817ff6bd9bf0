// A phone on a serial cable, through the real main window and the real plugin: the phone simulator answers
// on a pseudo-terminal that the plugin's port map names for COM3.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "PhoneFixture.h"
#include "SerialLine.h"
#include "support/PhoneSimulator.h"
#include "support/Widgets.h"

namespace {

using testsupport::PhoneSimulator;
using testsupport::readFile;
using testsupport::widget;
using testsupport::writeFile;

const QString NotConnected = QStringLiteral("Соединение не установлено");
const QString Failed = QStringLiteral(" Не удалось установить соединение с телефоном.");

QString sent(const QString& p) { return QStringLiteral(" Файл ") + p + QStringLiteral(" отправлен в телефон."); }
QString notSent(const QString& p) {
  return QStringLiteral(" Не удалось отправить файл ") + p + QStringLiteral(" в телефон.");
}

// Calls back whenever the watched widget is painted.
class PaintWatcher : public QObject {
 public:
  explicit PaintWatcher(std::function<void()> onPaint) : onPaint_(std::move(onPaint)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) onPaint_();
    return false;
  }

 private:
  std::function<void()> onPaint_;
};

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(g());
  return s;
}

class Cable : public PhoneWindow {
 protected:
  void SetUp() override {
    PhoneWindow::SetUp();
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("SGHFS_LOCK_DIR", (dir / "locks").c_str(), 1);
    testsupport::writeFile(dir / "locks/.keep", "");
    form->settings().setComPort("COM3");
    form->settings().setAutoCompileJava(false);
  }
  void TearDown() override {
    form.reset();
    phoneSim.reset();
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("SGHFS_LOCK_DIR");
    PhoneWindow::TearDown();
  }

  void startPhone(PhoneSimulator::Script script = {}, int timeoutMs = 400) {
    writeFile(dir / "cable/java/old_suite.jad", "MIDlet-Name: Old\r\n");
    phoneSim = std::make_unique<PhoneSimulator>(dir / "cable", script);
    ASSERT_FALSE(phoneSim->device().empty());
    writeFile(dir / "config/sghfs/ports.ini",
              "# the cable\r\nCOM3=" + phoneSim->device() + "\r\nTimeout=" + std::to_string(timeoutMs) + "\r\n");
  }

  void addGame(int index, const std::string& file, std::size_t jarSize, bool marked) {
    writeFile("Base/games/" + file + ".jad", "MIDlet-Name: " + file + "\r\nMIDlet-Jar-URL: " + file + ".jar\r\n");
    writeFile("Base/games/" + file + ".jar", randomBytes(jarSize, static_cast<unsigned>(index)));
    quorrel::GameEntry game;
    game.file = file;
    game.name = file;
    game.selected = marked ? 1 : 0;
    form->catalogue().setGame(index, game);
  }

  bool stored(const std::string& file) const {
    return testsupport::exists(dir / ("cable/java/" + file + "_suite.jar")) &&
           readFile(dir / ("cable/java/" + file + "_suite.jar")) == readFile("Base/games/" + file + ".jar") &&
           readFile(dir / ("cable/java/" + file + "_suite.jad")) == readFile("Base/games/" + file + ".jad");
  }

  QString panel(quorrel::StatusPanel p) const { return widget<StatusPanels>(*form, "statusPanels")->panelText(p); }

  // The plugin's own log line, heard through the window's handler (a first connect of the run has none yet).
  void connectTwice() {
    form->phone().connectPhone();
    if (!PluginBinding::isConnected()) form->phone().connectPhone();
  }

  std::unique_ptr<PhoneSimulator> phoneSim;
};

TEST_F(Cable, ConnectIdentifiesListsJavaAndUploadsMarkedGamesByteForByte) {
  startPhone();
  addGame(1, "tetris", 200 * 1024, true);
  addGame(2, "skip", 1000, false);
  addGame(3, "snake", 70000, true);
  form->phone().connectPhone();
  ASSERT_EQ(panel(quorrel::StatusPanel::Connection), QStringLiteral("Соединение установлено"));
  EXPECT_EQ(panel(quorrel::StatusPanel::Maker), QStringLiteral("SAMSUNG"));
  EXPECT_EQ(panel(quorrel::StatusPanel::Model), QStringLiteral("SGH-D500"));
  EXPECT_EQ(panel(quorrel::StatusPanel::SerialNumber), QStringLiteral("351234567890123"));
  ASSERT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 1);
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->item(0)->text(), QStringLiteral("old_suite.jad (18 bytes)"));
  EXPECT_EQ(log().value(0), QStringLiteral(" Установлено соединение с телефоном SGH-D500."));

  int progressCalls = 0;
  QObject::connect(widget<QProgressBar>(*form, "progressBar"), &QProgressBar::valueChanged, [&] { ++progressCalls; });
  widget<QComboBox>(*form, "messageLog")->clear();
  widget<QToolButton>(*form, "uploadMarkedButton")->click();
  EXPECT_TRUE(stored("tetris"));
  EXPECT_TRUE(stored("snake"));
  EXPECT_FALSE(testsupport::exists(dir / "cable/java/skip_suite.jar"));
  EXPECT_EQ(log(), (QStringList{sent("/java/snake_suite.jar"), sent("/java/snake_suite.jad"),
                                sent("/java/tetris_suite.jar"), sent("/java/tetris_suite.jad")}));
  EXPECT_GE(progressCalls, 5);  // a 200 KB game goes in packets of the phone's size, each reported
  EXPECT_FALSE(form->commandState().busy());

  // Each file went through its own OBEX session: AT+CPROT=0, connect, into /java, put, disconnect.
  const auto commands = phoneSim->commands();
  EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 5),
            (std::vector<std::string>{"ATE0", "AT+CGMI", "AT+CGMM", "AT+CGSN", "AT+CPROT=0"}));
  const auto requests = phoneSim->requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "connect"), 5);
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "disconnect"), 5);

  // The phone is still in AT mode afterwards, and the Java list is refused as absent, never done.
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").body, "SGH-D500");
  void* lib = ::dlopen((testsupport::binDir() + "sghfs.wfx").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  auto compile = reinterpret_cast<SghfsFsCompileJava>(::dlsym(lib, "FsCompileJava"));
  static int listCalls = 0;
  EXPECT_EQ(compile(1, [](int32_t) { ++listCalls; }), SGHFS_FILE_NOTSUPPORTED);
  EXPECT_EQ(listCalls, 0);
  EXPECT_NE(panel(quorrel::StatusPanel::PluginMessage).indexOf(QStringLiteral("списка Java")), -1);
  ::dlclose(lib);

  form->phone().disconnectPhone();
  EXPECT_EQ(panel(quorrel::StatusPanel::Connection), NotConnected);
  EXPECT_EQ(panel(quorrel::StatusPanel::PluginMessage), QStringLiteral("Соединение с телефоном закрыто"));
}

// Phones answer in many ways; each of these still identifies itself.
TEST_F(Cable, EchoFragmentedSlowAndUnsolicitedRepliesAreReadToTheirFinalCode) {
  struct Case {
    const char* what;
    PhoneSimulator::Script script;
  };
  std::vector<Case> cases(4);
  cases[0].what = "echo on";
  cases[1].what = "a byte at a time";
  cases[1].script.fragmented = true;
  cases[2].what = "slow";
  cases[2].script.replyDelayMs = 150;
  cases[3].what = "unsolicited lines";
  cases[3].script.unsolicited = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startPhone(c.script);
    form->phone().connectPhone();
    ASSERT_TRUE(PluginBinding::isConnected());
    EXPECT_EQ(panel(quorrel::StatusPanel::Maker), QStringLiteral("SAMSUNG"));
    EXPECT_EQ(panel(quorrel::StatusPanel::SerialNumber), QStringLiteral("351234567890123"));
    EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 1);
    form->phone().disconnectPhone();
  }
}

TEST_F(Cable, SilentPhoneFailsTheConnectWithAClearLine) {
  PhoneSimulator::Script script;
  script.silent = true;
  startPhone(script, 200);
  connectTwice();
  EXPECT_EQ(panel(quorrel::StatusPanel::Connection), NotConnected);
  EXPECT_EQ(log().value(0), Failed);
  EXPECT_EQ(panel(quorrel::StatusPanel::PluginMessage),
            QString::fromStdString("Телефон на " + phoneSim->device() + " (COM3) не отвечает"));
  EXPECT_EQ(phoneSim->commands(), (std::vector<std::string>{"ATE0", "ATE0", "ATE0", "ATE0"}));
}

TEST_F(Cable, PhoneThatAnswersErrorToEverythingConnectsButNothingIsSent) {
  PhoneSimulator::Script script;
  script.errorToAll = true;
  startPhone(script);
  addGame(1, "tetris", 5000, true);
  form->phone().connectPhone();
  ASSERT_TRUE(PluginBinding::isConnected());
  EXPECT_EQ(panel(quorrel::StatusPanel::Maker), QString());
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 0);
  widget<QComboBox>(*form, "messageLog")->clear();
  widget<QToolButton>(*form, "uploadMarkedButton")->click();
  EXPECT_EQ(log(), (QStringList{notSent("/java/tetris_suite.jar"), notSent("/java/tetris_suite.jad")}));
  EXPECT_NE(panel(quorrel::StatusPanel::PluginMessage).indexOf(QStringLiteral("OBEX (AT+CPROT=0: ERROR)")), -1);
  EXPECT_FALSE(testsupport::exists(dir / "cable/java/tetris_suite.jad"));
}

// The plugin holds the window's thread while it reports, so the window draws the progress bar itself: every
// report when the line is slow, at most once a frame when packets come faster than that, and whatever was left
// undrawn as soon as the call has returned.
TEST_F(Cable, ProgressIsDrawnDuringTheCallAtMostOnceAFrame) {
  struct Line {
    const char* what;
    long bytesPerSecond;
    std::size_t jarSize;
  };
  for (const Line& line : {Line{"slow line", 320 * 1024, 64 * 1024}, Line{"unlimited line", 0, 2048 * 1024}}) {
    SCOPED_TRACE(line.what);
    PhoneSimulator::Script script;
    script.bytesPerSecond = line.bytesPerSecond;
    startPhone(script, 2000);
    addGame(1, "tetris", line.jarSize, true);
    form->show();
    form->phone().connectPhone();
    ASSERT_TRUE(PluginBinding::isConnected());
    QCoreApplication::processEvents();

    std::vector<int> reported;
    std::vector<int> drawn;
    const auto reports = QObject::connect(widget<QProgressBar>(*form, "progressBar"), &QProgressBar::valueChanged,
                                          [&](int value) { reported.push_back(value); });
    PaintWatcher watcher([&] { drawn.push_back(widget<QProgressBar>(*form, "progressBar")->value()); });
    widget<QProgressBar>(*form, "progressBar")->installEventFilter(&watcher);
    QElapsedTimer took;
    took.start();
    widget<QToolButton>(*form, "uploadMarkedButton")->click();
    const qint64 ms = took.elapsed();
    const std::vector<int> drawnDuringTheCall = drawn;
    QCoreApplication::processEvents();
    QObject::disconnect(reports);
    widget<QProgressBar>(*form, "progressBar")->removeEventFilter(&watcher);

    ASSERT_TRUE(stored("tetris"));
    ASSERT_GE(reported.size(), 4u);
    if (line.bytesPerSecond > 0) {
      // A packet every 50 ms: each value the bar took was on the screen while the plugin went on (the last
      // one may follow the one before within a frame, after the file's short last packet).
      for (const int value : std::vector<int>(reported.begin(), reported.end() - 1)) {
        const bool seen =
            std::find(drawnDuringTheCall.begin(), drawnDuringTheCall.end(), value) != drawnDuringTheCall.end();
        EXPECT_TRUE(seen) << "the bar at " << value << " was never drawn during the call";
      }
    } else {
      EXPECT_LE(static_cast<qint64>(drawnDuringTheCall.size()), ms / 16 + 2) << reported.size() << " reports";
    }
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back(), widget<QProgressBar>(*form, "progressBar")->value());

    form->phone().disconnectPhone();
    form->hide();
    phoneSim.reset();
    testsupport::removeTree(dir / "cable");
  }
}

// The phone goes silent, or the cable is pulled, in the middle of a put: the upload fails with a clear line,
// no success line is written, the window shows the phone as no longer connected (with the plugin's reason in
// the log), and it is idle and usable.
TEST_F(Cable, PhoneSilentOrGoneInTheMiddleOfAPutFailsTheUploadAndTheConnection) {
  for (const bool vanish : {false, true}) {
    SCOPED_TRACE(vanish ? "gone" : "silent");
    PhoneSimulator::Script script;
    (vanish ? script.vanishAfterObexBytes : script.silentAfterObexBytes) = 60000;
    startPhone(script, 300);
    addGame(1, "tetris", 200 * 1024, true);
    addGame(2, "snake", 1000, true);
    form->phone().connectPhone();
    ASSERT_TRUE(PluginBinding::isConnected());
    const std::string lock = dir / ("locks/" + cable::lockFileName(phoneSim->device()));
    ASSERT_TRUE(testsupport::exists(lock));
    widget<QComboBox>(*form, "messageLog")->clear();
    widget<QToolButton>(*form, "uploadMarkedButton")->click();
    // The small descriptor went first and arrived; the archive did not, and the next game found no line.
    const QString why = vanish ? QStringLiteral("Связь с телефоном потеряна") : QStringLiteral("Телефон не отвечает");
    const QString reason = QStringLiteral(" Ошибка телефона: ") + why + QStringLiteral(" (") +
                           QString::fromStdString(phoneSim->device()) +
                           QStringLiteral(" (COM3)): передача /java/tetris_suite.jar");
    EXPECT_EQ(log(), (QStringList{notSent("/java/snake_suite.jar"), notSent("/java/snake_suite.jad"),
                                  QStringLiteral(" Соединение с телефоном разорвано."), reason,
                                  notSent("/java/tetris_suite.jar"), sent("/java/tetris_suite.jad")}));
    EXPECT_FALSE(testsupport::exists(dir / "cable/java/tetris_suite.jar"));
    EXPECT_FALSE(testsupport::exists(dir / "cable/java/snake_suite.jad"));
    EXPECT_EQ(panel(quorrel::StatusPanel::Connection), NotConnected);
    EXPECT_TRUE(widget<QAction>(*form, "connectAction")->isEnabled());
    EXPECT_FALSE(widget<QAction>(*form, "disconnectAction")->isEnabled());
    EXPECT_EQ(widget<QToolButton>(*form, "connectionButton")->toolTip(), QStringLiteral("Соединиться с телефоном"));
    EXPECT_EQ(panel(quorrel::StatusPanel::Maker), QString());
    EXPECT_FALSE(PluginBinding::isConnected());
    EXPECT_FALSE(form->commandState().busy());
    EXPECT_TRUE(widget<QTreeWidget>(*form, "catalogueTree")->isEnabled());
    EXPECT_EQ(PluginBinding::sendCommand("AT+CGMI").body, "");  // the line is given up until a new connect
    EXPECT_FALSE(testsupport::exists(lock));                    // the port was let go with the connection
    phoneSim.reset();
    testsupport::removeTree(dir / "cable");
  }
}

// A phone that refuses a file (too large, memory full, no such folder) has refused that file only: the session
// is ended cleanly, the line goes back to AT mode, and the rest of the batch arrives.
TEST_F(Cable, RefusedFileFailsAloneAndTheRestOfTheBatchArrives) {
  for (const int code : {0xCD, 0xE0, 0xC4}) {
    SCOPED_TRACE(code);
    PhoneSimulator::Script script;
    script.refusePutCode = code;
    script.refusePutNumber = 2;  // the first game's archive
    startPhone(script);
    addGame(1, "tetris", 70000, true);
    addGame(2, "snake", 40000, true);
    addGame(3, "pong", 1000, true);
    form->phone().connectPhone();
    ASSERT_TRUE(PluginBinding::isConnected());
    widget<QComboBox>(*form, "messageLog")->clear();
    widget<QToolButton>(*form, "uploadMarkedButton")->click();
    EXPECT_EQ(log(), (QStringList{sent("/java/pong_suite.jar"), sent("/java/pong_suite.jad"),
                                  sent("/java/snake_suite.jar"), sent("/java/snake_suite.jad"),
                                  notSent("/java/tetris_suite.jar"), sent("/java/tetris_suite.jad")}));
    EXPECT_TRUE(stored("snake"));
    EXPECT_TRUE(stored("pong"));
    EXPECT_FALSE(testsupport::exists(dir / "cable/java/tetris_suite.jar"));
    EXPECT_EQ(panel(quorrel::StatusPanel::Connection), QStringLiteral("Соединение установлено"));

    // The refused put was followed by the DISCONNECT that ends its session, and every session was ended.
    const auto requests = phoneSim->requests();
    const auto refused = std::find_if(requests.begin(), requests.end(),
                                      [](const std::string& r) { return r.rfind("refuse put", 0) == 0; });
    ASSERT_NE(refused, requests.end());
    ASSERT_NE(refused + 1, requests.end());
    EXPECT_EQ(*(refused + 1), "disconnect");
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "connect"),
              std::count(requests.begin(), requests.end(), "disconnect"));
    EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").body, "SGH-D500");
    form->phone().disconnectPhone();
    phoneSim.reset();
    testsupport::removeTree(dir / "cable");
  }
}

// The final OK of AT+CPROT=0 (the phone back in AT mode) may come with the DISCONNECT reply, a while after it in
// a write of its own, or never: the next file and the next command find the line in AT mode all the same.
// A phone that is deaf for a moment after each session gets the next AT+CPROT=0 once it listens again.
TEST_F(Cable, LineIsBackInAtModeAfterEachSessionHoweverThePhoneReturns) {
  struct Case {
    const char* what;
    int okAfterObexMs;
    int deafAfterObexMs;
  };
  for (const Case& c : {Case{"OK 2 ms late", 2, 0}, Case{"OK 30 ms late", 30, 0}, Case{"no OK", -1, 0},
                        Case{"deaf 20 ms", 0, 20}, Case{"OK late, then deaf", 30, 20}}) {
    SCOPED_TRACE(c.what);
    PhoneSimulator::Script script;
    script.okAfterObexMs = c.okAfterObexMs;
    script.deafAfterObexMs = c.deafAfterObexMs;
    startPhone(script);
    addGame(1, "tetris", 70000, true);
    addGame(2, "snake", 1000, true);
    form->phone().connectPhone();
    ASSERT_TRUE(PluginBinding::isConnected());
    EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 1);
    widget<QComboBox>(*form, "messageLog")->clear();
    widget<QToolButton>(*form, "uploadMarkedButton")->click();
    EXPECT_EQ(log(), (QStringList{sent("/java/snake_suite.jar"), sent("/java/snake_suite.jad"),
                                  sent("/java/tetris_suite.jar"), sent("/java/tetris_suite.jad")}));
    EXPECT_TRUE(stored("tetris"));
    EXPECT_TRUE(stored("snake"));
    // A command right after a session gets its own answer, not the phone's word that it is back. (A command
    // is not repeated: one that a deaf phone missed is not known to have done nothing.)
    if (c.deafAfterObexMs == 0) {
      EXPECT_EQ(PluginBinding::sendCommand("AT+CGSN").body, "351234567890123");
    }
    const auto commands = phoneSim->commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CPROT=0"), 5);  // once a session
    form->phone().disconnectPhone();
    phoneSim.reset();
    testsupport::removeTree(dir / "cable");
  }
}

TEST_F(Cable, PortHeldByAnotherProgramOrMissingDeviceIsSaidSo) {
  startPhone();
  const std::string dev = phoneSim->device();
  // A lock file of a live process (init) holds the port.
  writeFile(dir / ("locks/LCK.." + dev.substr(5).replace(dev.substr(5).find('/'), 1, "_")), "         1\n");
  connectTwice();
  EXPECT_EQ(panel(quorrel::StatusPanel::Connection), NotConnected);
  EXPECT_EQ(panel(quorrel::StatusPanel::PluginMessage),
            QString::fromStdString("Порт " + dev + " (COM3) занят другой программой"));
  EXPECT_TRUE(phoneSim->commands().empty());

  writeFile(dir / "config/sghfs/ports.ini", "COM3=/dev/ttyACM_not_there\r\n");
  form->phone().connectPhone();
  EXPECT_EQ(panel(quorrel::StatusPanel::PluginMessage),
            QStringLiteral("Нет устройства /dev/ttyACM_not_there (COM3): телефон не подключен"));
  EXPECT_EQ(log().value(0), Failed);
}

// As the unprivileged user 65534 (root ignores permission bits), a device readable by root only cannot be
// opened: the plugin says to join the dialout group, and works on without a lock folder it may not write.
TEST_F(Cable, DeviceWithoutPermissionTellsToJoinDialout) {
  startPhone();
  char folder[] = "/tmp/cable-perm-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string config = std::string(folder) + "/config";
  writeFile(config + "/sghfs/ports.ini", "COM3=" + phoneSim->device() + "\r\n");
  ::chmod(folder, 0755);
  ::chmod(config.c_str(), 0755);
  ::chmod((config + "/sghfs").c_str(), 0755);
  ::chmod((config + "/sghfs/ports.ini").c_str(), 0644);
  ::chmod(phoneSim->device().c_str(), 0600);
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::setenv("SGHFS_LOCK_DIR", "/", 1);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    static int out = fds[1];
    auto* lib = ::dlopen((testsupport::binDir() + "sghfs.wfx").c_str(), RTLD_NOW | RTLD_NOLOAD);
    auto init = reinterpret_cast<SghfsFsInit>(::dlsym(lib, "FsInit"));
    auto setup = reinterpret_cast<SghfsFsSetup>(::dlsym(lib, "FsSetup"));
    auto connect = reinterpret_cast<SghfsFsConnect>(::dlsym(lib, "FsConnect"));
    init(
        0, nullptr, [](int32_t, int32_t, const char* text) { (void)!::write(out, text, std::strlen(text)); }, nullptr);
    setup(0, 0, 3, 115200, "");
    ::_exit(connect() == 0 ? 0 : 4);
  }
  ::close(fds[1]);
  std::string heard;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) heard.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  testsupport::removeTree(folder);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(heard,
            testsupport::cp1251(("Нет прав на " + phoneSim->device() + " (COM3) (войдите в группу dialout)").c_str()));
}

}  // namespace
