// A phone plugin that fails every call, loaded with dlopen as the application loads sghfs.wfx: the connect
// is refused, or it succeeds and everything after it fails. The window says so in its log, never reports a
// game as sent, and leaves the game files as they were.
#include <QAction>
#include <QListWidget>
#include <memory>

#include "DrillWindow.h"
#include "OddPluginControl.h"
#include "phone/PluginBinding.h"
#include "support/Widgets.h"

using testsupport::readFile;
using testsupport::widget;
using testsupport::writeFile;

namespace {

const std::string Jad = "MIDlet-Name: Blocks\r\nMIDlet-Jar-Size: 9\r\n";
const std::string Jar = "PK blocks";

class PluginDrill : public DrillWindow {
 protected:
  void SetUp() override {
    DrillWindow::SetUp();
    writeFile("Base/games/blocks.jad", Jad);
    writeFile("Base/games/blocks.jar", Jar);
    startWindow();
    plugin = std::make_unique<OddPluginControl>(ODD_FULL);
    plugin->set("fail_every_call", "1");
    ASSERT_TRUE(PluginBinding::load(plugin->path()));
    form->settings().setComPort("COM1");
    form->settings().setComSpeed(115200);
    form->catalogue().setCurrentGameFile("blocks");
    form->catalogue().setCurrentGameScreen("blocks.gif");
    form->settings().setAutoCompileJava(true);  // compile after each upload
  }
  void TearDown() override {
    form.reset();  // unloads the plugin
  }

  void expectGamesWhole() const {
    EXPECT_EQ(readFile("Base/games/blocks.jad"), Jad);
    EXPECT_EQ(readFile("Base/games/blocks.jar"), Jar);
    EXPECT_FALSE(logHas(QStringLiteral("отправлен в телефон")));
    EXPECT_TRUE(prompter.errors().empty());
    EXPECT_FALSE(form->commandState().busy());
  }

  std::unique_ptr<OddPluginControl> plugin;  // outlives the window, which releases the plugin first
};

}  // namespace

TEST_F(PluginDrill, RefusedConnectIsReportedAndTheUploadFailsPlainly) {
  form->guarded([&] { form->phone().connectPhone(); });
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение не установлено"));
  EXPECT_EQ(log().front(), QStringLiteral(" Не удалось установить соединение с телефоном."));
  EXPECT_FALSE(PluginBinding::isConnected());

  // The upload does not check the connection; each copy is tried, fails and says so.
  widget<QComboBox>(*form, "messageLog")->clear();
  form->guarded([&] { form->phone().uploadCurrentGame(); });
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jad в телефон.")));
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jar в телефон.")));
  EXPECT_EQ(log().front(), QStringLiteral(" Телефон должен быть подключен для перекомпиляции Java."));
  expectGamesWhole();
}

TEST_F(PluginDrill, EveryCallFailingAfterTheConnectLeavesNothingHalfDone) {
  plugin->set("connect", "1");  // only the connect succeeds
  form->guarded([&] { form->phone().connectPhone(); });
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение установлено"));
  for (const quorrel::StatusPanel panel : quorrel::PhonePanels)
    EXPECT_TRUE(widget<StatusPanels>(*form, "statusPanels")->panelText(panel).isEmpty()) << static_cast<int>(panel);
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 0);

  widget<QComboBox>(*form, "messageLog")->clear();
  form->guarded([&] { form->phone().uploadCurrentGame(); });
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jad в телефон.")));
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jar в телефон.")));
  EXPECT_TRUE(logHas(QStringLiteral(" Начинается компиляция java.")));
  // The failed rebuild of the Java list is reported: the plugin said so as an important error.
  EXPECT_EQ(prompter.errors(), std::vector<QString>{QStringLiteral("FsCompileJava failed.")});
  EXPECT_TRUE(logHas(QStringLiteral(" Ошибка телефона: FsCompileJava failed")));
  // A plugin that cannot tell that it lost the connection (no FsIsConnected) is taken at its connect's word.
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение установлено"));
  prompter.clear();
  expectGamesWhole();

  // The batch upload of the marked game fails alike; disconnecting works whatever the plugin answers.
  quorrel::GameEntry blocks = form->catalogue().game(1);
  blocks.file = "blocks";
  blocks.selected = 1;
  form->catalogue().setGame(1, blocks);
  form->catalogue().setGameCount(1);
  widget<QComboBox>(*form, "messageLog")->clear();
  form->guarded([&] { form->phone().uploadMarkedGames(); });
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jar в телефон.")));
  form->guarded([&] { form->phone().disconnectPhone(); });
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение не установлено"));
  EXPECT_FALSE(PluginBinding::isConnected());
  EXPECT_EQ(prompter.errors(), std::vector<QString>{QStringLiteral("FsCompileJava failed.")});
  prompter.clear();
  expectGamesWhole();
}
