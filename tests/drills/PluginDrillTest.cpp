// A phone plugin that fails every call, loaded with dlopen as the application loads sghfs.wfx: the connect
// is refused, or it succeeds and everything after it fails. The window says so in its log, never reports a
// game as sent, and leaves the game files as they were.
#include <QAction>
#include <QListWidget>
#include <cstdlib>

#include "DrillWindow.h"
#include "phone/SGHFS.h"

using testsupport::readFile;
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
    ASSERT_TRUE(SGHFS::LoadPlugin(testsupport::binDir() + "failingplugin/sghfs.wfx"));
    form->ComPort = "COM1";
    form->ComSpeed = 115200;
    form->CurrentGameFile = "blocks";
    form->CurrentGameScreen = "blocks.gif";
    form->Java1->setChecked(true);  // compile after each upload
  }
  void TearDown() override {
    form.reset();  // unloads the plugin
    ::unsetenv("QUORREL_FAILING_PLUGIN_CONNECTS");
  }

  void expectGamesWhole() const {
    EXPECT_EQ(readFile("Base/games/blocks.jad"), Jad);
    EXPECT_EQ(readFile("Base/games/blocks.jar"), Jar);
    EXPECT_FALSE(logHas(QStringLiteral("отправлен в телефон")));
    EXPECT_TRUE(prompter.errors().empty());
    EXPECT_FALSE(form->Busy);
  }
};

}  // namespace

TEST_F(PluginDrill, RefusedConnectIsReportedAndTheUploadFailsPlainly) {
  form->guarded([&] { form->N4Click(); });
  EXPECT_EQ(form->StatusBar1->panelText(0), QStringLiteral("Соединение не установлено"));
  EXPECT_EQ(log().front(), QStringLiteral(" Не удалось установить соединение с телефоном."));
  EXPECT_FALSE(SGHFS::PluginConnected());

  // The upload does not check the connection; each copy is tried, fails and says so.
  form->ComboBox->clear();
  form->guarded([&] { form->SpeedButton1Click(); });
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jad в телефон.")));
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jar в телефон.")));
  EXPECT_EQ(log().front(), QStringLiteral(" Телефон должен быть подключен для перекомпиляции Java."));
  expectGamesWhole();
}

TEST_F(PluginDrill, EveryCallFailingAfterTheConnectLeavesNothingHalfDone) {
  ::setenv("QUORREL_FAILING_PLUGIN_CONNECTS", "1", 1);
  form->guarded([&] { form->N4Click(); });
  EXPECT_EQ(form->StatusBar1->panelText(0), QStringLiteral("Соединение установлено"));
  for (int panel = 1; panel <= 3; ++panel) EXPECT_TRUE(form->StatusBar1->panelText(panel).isEmpty()) << panel;
  EXPECT_EQ(form->PhoneList->count(), 0);

  form->ComboBox->clear();
  form->guarded([&] { form->SpeedButton1Click(); });
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jad в телефон.")));
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jar в телефон.")));
  EXPECT_TRUE(logHas(QStringLiteral(" Начинается компиляция java.")));
  // The failed rebuild of the Java list is reported: the plugin said so as an important error.
  EXPECT_EQ(prompter.errors(), std::vector<QString>{QStringLiteral("FsCompileJava failed.")});
  EXPECT_TRUE(logHas(QStringLiteral(" Ошибка телефона: FsCompileJava failed")));
  prompter.clear();
  expectGamesWhole();

  // The batch upload of the marked game fails alike; disconnecting works whatever the plugin answers.
  form->JavaBase[1].File = "blocks";
  form->JavaBase[1].Selected = 1;
  form->GameCount = 1;
  form->ComboBox->clear();
  form->guarded([&] { form->SpeedButton10Click(); });
  EXPECT_TRUE(logHas(QStringLiteral(" Не удалось отправить файл /java/blocks_suite.jar в телефон.")));
  form->guarded([&] { form->N10Click(); });
  EXPECT_EQ(form->StatusBar1->panelText(0), QStringLiteral("Соединение не установлено"));
  EXPECT_FALSE(SGHFS::PluginConnected());
  EXPECT_EQ(prompter.errors(), std::vector<QString>{QStringLiteral("FsCompileJava failed.")});
  prompter.clear();
  expectGamesWhole();
}
