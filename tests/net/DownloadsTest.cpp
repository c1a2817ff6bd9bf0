// The download routine and the game and screenshot commands of the main window, against a real server on
// 127.0.0.1, with the user's answers scripted.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <optional>
#include <tuple>

#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "catalogue/CatalogueBrowser.h"
#include "net/CatalogueUpdate.h"
#include "net/Downloads.h"
#include "net/HttpGet.h"
#include "settings/Settings.h"
#include "settings/SettingsDialog.h"
#include "support/Gif.h"
#include "support/HttpTestServer.h"
#include "support/ScriptedPrompter.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using quorrel::MsgButton;
using testsupport::HttpReply;
using testsupport::HttpTestServer;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::widget;
using testsupport::writeFile;

namespace {

class DownloadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = createApplicationWindows(&prompter);
    prompter.clear();  // the missing catalogue at start-up
    widget<QComboBox>(*form, "messageLog")->clear();
    form->settings().setUpdateServer(server.base());
    form->catalogue().setCurrentGameFile("ball");
    form->catalogue().setCurrentGameScreen("ball.gif");
  }

  // Log lines, newest first, without their time of day.
  std::vector<QString> log() const { return testsupport::logLines(*form); }

  QString url(const std::string& path) const { return QString::fromStdString(server.base() + path); }

  void expectIdle() const {
    EXPECT_FALSE(form->commandState().busy());
    EXPECT_TRUE(widget<QTreeWidget>(*form, "catalogueTree")->isEnabled());
    EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->value(), 0);
    EXPECT_TRUE(widget<QLabel>(*form, "transferLabel")->text().isEmpty());
  }

  TempWorkDir dir;
  HttpTestServer server;
  ScriptedPrompter prompter;
  std::unique_ptr<MainWindow> form;
};

const QString GameDone = QStringLiteral("Игра успешно скачана!");

}  // namespace

TEST_F(DownloadsTest, EqualSizeIsNeitherAskedNorFetched) {
  writeFile("Base/games/ball.jad", "local");
  server.route("/Base/games/ball.jad", HttpReply::ok("other"));  // same length, other bytes
  form->downloads().downloadFromServer("Base/games/ball.jad");
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(readFile("Base/games/ball.jad"), "local");
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(log(), std::vector<QString>{" Проверяю размер файла " + url("Base/games/ball.jad") + "."});
  // The server sees the phone's browser, and a request that a cache may answer.
  const std::string r = server.requests().at(0);
  EXPECT_EQ(testsupport::headerOf(r, "User-Agent"), "SAMSUNG-SGH-X100/PEARL UP.Browser/6.1.0.6 (GUI) MMP/1.0");
  EXPECT_FALSE(testsupport::hasHeader(r, "Pragma"));
}

TEST_F(DownloadsTest, MissingFileIsFetchedEvenAfterAFailedSizeQuery) {
  const std::string gif = std::string(3000, 'g');
  server.route("/Base/screen/ball.gif", HttpReply::status("HTTP/1.0 503 Service Unavailable", "busy"));
  server.route("/Base/screen/ball.gif", HttpReply::ok(gif));
  std::optional<quorrel::CommandScope> running(std::in_place, form->commandState(),
                                                 quorrel::CommandHold::CommandsAndCatalogue);
  widget<StatusPanels>(*form, "statusPanels")
      ->setPanelText(quorrel::StatusPanel::PluginMessage, QStringLiteral("plugin line"));
  form->downloads().downloadFromServer("Base/screen/ball.gif");  // the folder does not exist yet

  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(readFile("Base/screen/ball.gif"), gif);
  const QString u = url("Base/screen/ball.gif");
  EXPECT_EQ(log(), (std::vector<QString>{
                       " Файл " + u + " успешно скачан! (3000байт.)",
                       " Получение файла Base/screen/ball.gif (рамер -1 байт).",
                       " Произошла ошибка при скачивании файла " + u,
                       " Проверяю размер файла " + u + ".",
                   }));
  // The failed query has ended the busy state at once.
  EXPECT_FALSE(form->commandState().busy());
  EXPECT_TRUE(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::PluginMessage).isEmpty());
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->maximum(), 3000);
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->value(), 3000);
}

TEST_F(DownloadsTest, FailingServerNeverDestroysTheLocalCopy) {
  writeFile("Base/games/ball.jar", "the old game");
  HttpReply cut = HttpReply::ok(std::string(5000, 'j'));
  cut.cutAfter = 2500;
  server.route("/Base/games/ball.jar", HttpReply::ok(std::string(5000, 'j')));  // the size query
  server.route("/Base/games/ball.jar", cut);
  prompter.answers = {MsgButton::Yes};
  form->downloads().downloadFromServer("Base/games/ball.jar");
  EXPECT_EQ(readFile("Base/games/ball.jar"), "the old game");
  EXPECT_EQ(log().front(), " Произошла ошибка при скачивании файла " + url("Base/games/ball.jar"));
  EXPECT_EQ(std::filesystem::directory_iterator("Base/games")->path().filename(), "ball.jar");
}

TEST_F(DownloadsTest, ChangedSizeQuestionAndNoToAllLastUntilTheNextUpdate) {
  writeFile("Base/games/ball.jad", "old jad");
  writeFile("Base/games/ball.jar", "old jar");
  writeFile("Base/games/cube.jad", "old");
  server.route("/Base/games/ball.jad", HttpReply::ok("new jad file"));
  server.route("/Base/games/ball.jar", HttpReply::ok("new jar file"));
  server.route("/Base/games/cube.jad", HttpReply::ok("new cube"));
  widget<QToolButton>(*form, "downloadGameButton")->show();
  prompter.answers = {MsgButton::NoToAll, MsgButton::Ok};
  form->downloads().downloadGame();

  ASSERT_EQ(prompter.asked.size(), 2u);  // one question, then the end message
  const quorrel::MessageRequest& q = prompter.asked[0];
  EXPECT_EQ(q.title, QStringLiteral("Confirm"));
  EXPECT_EQ(q.text, QStringLiteral("Размер файла Base/games/ball.jad изменился. Обновить?"));
  EXPECT_EQ(q.icon, quorrel::MsgIcon::Question);
  EXPECT_EQ(q.buttons,
            (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No, MsgButton::NoToAll, MsgButton::YesToAll}));
  EXPECT_EQ(prompter.asked[1].text, GameDone);
  EXPECT_EQ(readFile("Base/games/ball.jad"), "old jad");
  EXPECT_EQ(readFile("Base/games/ball.jar"), "old jar");
  EXPECT_EQ(server.requests().size(), 2u);  // two size queries, nothing fetched
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadGameButton")->isHidden());
  expectIdle();

  // The answer holds for later downloads too.
  prompter.clear();
  form->downloads().downloadFromServer("Base/games/cube.jad");
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(readFile("Base/games/cube.jad"), "old");
}

TEST_F(DownloadsTest, YesToAllFetchesEveryChangedFileWithoutAsking) {
  writeFile("Base/games/ball.jad", "old jad");
  writeFile("Base/games/ball.jar", "old jar");
  server.route("/Base/games/ball.jad", HttpReply::ok("new jad file"));
  server.route("/Base/games/ball.jar", HttpReply::ok("new jar file"));
  prompter.answers = {MsgButton::YesToAll, MsgButton::Ok};
  form->downloads().downloadGame();
  EXPECT_EQ(prompter.texts(),
            (std::vector<QString>{QStringLiteral("Размер файла Base/games/ball.jad изменился. Обновить?"), GameDone}));
  EXPECT_EQ(readFile("Base/games/ball.jad"), "new jad file");
  EXPECT_EQ(readFile("Base/games/ball.jar"), "new jar file");
  EXPECT_TRUE(form->downloads().answers().overwriteAll);
  EXPECT_EQ(log().front(), " Файл " + url("Base/games/ball.jar") + " успешно скачан! (12байт.)");
  expectIdle();
}

TEST_F(DownloadsTest, NoForBothFilesStillEndsWithTheSuccessMessage) {
  writeFile("Base/games/ball.jad", "old jad");
  writeFile("Base/games/ball.jar", "old jar");
  server.route("/Base/games/ball.jad", HttpReply::ok("new jad file"));
  server.route("/Base/games/ball.jar", HttpReply::ok("new jar file"));
  widget<QToolButton>(*form, "downloadGameButton")->show();
  prompter.answers = {MsgButton::No, MsgButton::No, MsgButton::Ok};
  form->downloads().downloadGame();
  EXPECT_EQ(prompter.asked.size(), 3u);
  EXPECT_EQ(prompter.asked.back().text, GameDone);
  EXPECT_EQ(readFile("Base/games/ball.jar"), "old jar");
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadGameButton")->isHidden());
  EXPECT_FALSE(form->downloads().answers().skipAll);
  expectIdle();
}

TEST_F(DownloadsTest, CommandsRefusedWhileBusyAndFolderErrorsEndIdle) {
  std::optional<quorrel::CommandScope> running(std::in_place, form->commandState(),
                                                 quorrel::CommandHold::CommandsAndCatalogue);
  form->downloads().downloadGame();
  form->downloads().downloadScreenshot();
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(prompter.asked.empty());

  // "Base" is a file: neither folder can be made.
  running.reset();
  testsupport::removeTree("Base");
  writeFile("Base", "not a folder");
  form->guarded([this] { form->downloads().downloadGame(); });
  form->guarded([this] { form->downloads().downloadScreenshot(); });
  EXPECT_EQ(prompter.errors(), (std::vector<QString>{
                                   QString::fromStdString("Не могу создать папку" + dir.path() + "Base/games/."),
                                   QStringLiteral("Не могу создать папку ./Base/screen/."),
                               }));
  EXPECT_TRUE(server.requests().empty());
  expectIdle();
}

TEST_F(DownloadsTest, ScreenshotThatCannotBeFetchedEndsIdle) {
  // The picture loader's error, if any, replaces the success message.
  widget<QToolButton>(*form, "downloadScreenshotButton")->show();
  form->catalogue().setCurrentGameScreen("missing.gif");
  form->guarded([this] { form->downloads().downloadScreenshot(); });
  expectIdle();
  EXPECT_EQ(log().front(), " Произошла ошибка при скачивании файла " + url("Base/screen/missing.gif"));
  if (!prompter.errors().empty()) {
    EXPECT_FALSE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
    for (const QString& text : prompter.texts()) EXPECT_NE(text, QStringLiteral("Файл успешно загружен!"));
  }
}

TEST_F(DownloadsTest, FilesThatDidNotArriveAreNamedAndTheButtonsStay) {
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(testsupport::freePort()) + "/";
  const std::vector<std::tuple<std::string, std::string, QString>> cases = {
      {unreachable, "ball", QStringLiteral("не получены файлы Base/games/ball.jad и Base/games/ball.jar.")},
      {server.base(), "../ball",  // names refused before any request
       QStringLiteral("не получены файлы Base/games/../ball.jad и Base/games/../ball.jar.")},
      {server.base(), "ball", QStringLiteral("не получен файл Base/games/ball.jar.")},  // only the .jad is there
  };
  server.route("/Base/games/ball.jad", HttpReply::ok("jad"));
  for (const auto& [base, file, missing] : cases) {
    prompter.clear();
    form->settings().setUpdateServer(base);
    form->catalogue().setCurrentGameFile(file);
    widget<QToolButton>(*form, "downloadGameButton")->show();
    widget<QToolButton>(*form, "downloadGameButton")->click();
    EXPECT_EQ(prompter.errors(), std::vector<QString>{"Игра не скачана: " + missing});
    EXPECT_EQ(prompter.asked.size(), 1u);
    EXPECT_FALSE(widget<QToolButton>(*form, "downloadGameButton")->isHidden());
    expectIdle();
  }
  EXPECT_EQ(server.requests().size(), 4u);  // the last case only: a size query and a transfer per file

  // The screenshot alike, also with a copy from before on disk.
  prompter.clear();
  writeFile("Base/screen/ball.gif", testsupport::animatedGif(16, 16));
  form->settings().setUpdateServer(unreachable);
  widget<QToolButton>(*form, "downloadScreenshotButton")->show();
  widget<QToolButton>(*form, "downloadScreenshotButton")->click();
  EXPECT_EQ(prompter.texts(), (std::vector<QString>{
                                  QStringLiteral("Размер файла Base/screen/ball.gif изменился. Обновить?"),
                                  QStringLiteral("Скриншот не скачан: не получен файл Base/screen/ball.gif."),
                              }));
  EXPECT_FALSE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  expectIdle();
}

TEST_F(DownloadsTest, CyrillicNamesAreAskedForAsTheCatalogueWritesThemAndSavedReadable) {
  const std::string file = testsupport::cp1251("игра");
  form->catalogue().setCurrentGameFile(file);
  form->catalogue().setCurrentGameScreen(file + ".gif");
  // The request line carries the catalogue's bytes, percent-encoded as a URL has them.
  const std::string onTheWire = "%E8%E3%F0%E0";
  server.route("/Base/games/" + onTheWire + ".jad", HttpReply::ok("jad"));
  server.route("/Base/games/" + onTheWire + ".jar", HttpReply::ok("jar"));
  server.route("/Base/screen/" + onTheWire + ".gif", HttpReply::ok(testsupport::animatedGif(8, 8)));
  widget<QToolButton>(*form, "downloadGameButton")->show();
  widget<QToolButton>(*form, "downloadGameButton")->click();
  widget<QToolButton>(*form, "downloadScreenshotButton")->show();
  widget<QToolButton>(*form, "downloadScreenshotButton")->click();
  EXPECT_EQ(prompter.errors(), std::vector<QString>{});
  EXPECT_EQ(readFile("Base/games/игра.jad"), "jad");
  EXPECT_EQ(readFile("Base/games/игра.jar"), "jar");
  EXPECT_EQ(readFile("Base/screen/игра.gif"), testsupport::animatedGif(8, 8));
  EXPECT_EQ(server.requestLines().at(0), "GET /Base/games/" + onTheWire + ".jad HTTP/1.0");
  EXPECT_EQ(log().front(), " Файл " + url("Base/screen/") + QStringLiteral("игра.gif успешно скачан! (") +
                               QString::number(testsupport::animatedGif(8, 8).size()) + "байт.)");
}

TEST_F(DownloadsTest, PathsFromTheServerStayInsideTheWorkingFolder) {
  server.route("/Base/dir/deep/more/x.gif", HttpReply::ok("x"));
  form->downloads().downloadFromServer("Base/dir/deep/more/x.gif");
  EXPECT_EQ(readFile("Base/dir/deep/more/x.gif"), "x");

  server.route("/Base/games/../../escape.bin", HttpReply::ok("escape"));
  form->downloads().downloadFromServer("Base/games/../../escape.bin");
  EXPECT_FALSE(testsupport::exists(dir.path() + "../escape.bin"));
  EXPECT_EQ(log().front(), " Произошла ошибка при скачивании файла " + url("Base/games/../../escape.bin"));

  // A screenshot name that leaves its folder: nothing asked of the server, and the picture standing where the
  // name leads is not read and shown either, though the failure's box names the path.
  writeFile("secret.gif", testsupport::animatedGif(77, 33));
  for (const std::string& screen : {std::string("../../secret.gif"), dir.path() + "secret.gif"}) {
    prompter.clear();
    const std::size_t requests = server.requests().size();
    form->catalogue().setCurrentGameScreen(screen);
    widget<QToolButton>(*form, "downloadScreenshotButton")->show();
    widget<QToolButton>(*form, "downloadScreenshotButton")->click();
    EXPECT_EQ(prompter.texts(),
              std::vector<QString>{QString::fromStdString("Скриншот не скачан: не получен файл Base/screen/" + screen +
                                                          ".")});
    EXPECT_EQ(form->browser().pictureMovie(), nullptr);
    EXPECT_EQ(server.requests().size(), requests);
    expectIdle();
  }
}

TEST_F(DownloadsTest, ProxyCheckBoxChoosesTheRoute) {
  testsupport::TinyProxy proxy;
  server.route("/a.jad", HttpReply::ok("a"));
  form->settings().setProxy({"127.0.0.1", static_cast<std::uint32_t>(proxy.port()), "", ""});
  widget<QCheckBox>(*form->settingsDialog(), "useProxyBox")->setChecked(true);
  form->downloads().downloadFromServer("a.jad");
  EXPECT_EQ(form->downloads().http().options.useProxy, ProxyMode::Proxy);
  widget<QCheckBox>(*form->settingsDialog(), "useProxyBox")->setChecked(false);
  testsupport::removeTree("a.jad");
  form->downloads().downloadFromServer("a.jad");
  EXPECT_EQ(form->downloads().http().options.useProxy, ProxyMode::Direct);

  const auto r = server.requests();
  ASSERT_EQ(r.size(), 4u);  // size query and transfer, twice
  for (int i = 0; i < 2; ++i) EXPECT_NE(testsupport::headerOf(r[i], "Via").find("tinyproxy"), std::string::npos);
  for (int i = 2; i < 4; ++i) EXPECT_TRUE(testsupport::headerOf(r[i], "Via").empty());
}

TEST_F(DownloadsTest, GameAndScreenshotFromPythonsHttpServer) {
  const std::string gif = testsupport::animatedGif(32, 32);
  const std::string jar(40000, 'J');
  writeFile(dir / "server/Base/games/ball.jad", "MIDlet-Name: Ball\r\n");
  writeFile(dir / "server/Base/games/ball.jar", jar);
  writeFile(dir / "server/Base/screen/ball.gif", gif);
  testsupport::PythonHttpServer python(dir / "server");
  form->settings().setUpdateServer(python.base());
  prompter.answers = {MsgButton::Ok, MsgButton::Ok};
  form->guarded([this] { form->downloads().downloadGame(); });
  form->guarded([this] { form->downloads().downloadScreenshot(); });
  EXPECT_EQ(prompter.texts(), (std::vector<QString>{GameDone, QStringLiteral("Файл успешно загружен!")}));
  EXPECT_EQ(readFile("Base/games/ball.jad"), "MIDlet-Name: Ball\r\n");
  EXPECT_EQ(readFile("Base/games/ball.jar"), jar);
  EXPECT_EQ(readFile("Base/screen/ball.gif"), gif);
  EXPECT_EQ(log()[3],
            " Файл " + QString::fromStdString(python.base()) + "Base/games/ball.jar успешно скачан! (40000байт.)");
  expectIdle();
}
