// Files and folders that may not be written: the settings file, the catalogue and its folder, a download's
// target folder and an extraction's destination. The process runs as root, which ignores permission bits,
// so each drill runs again in a child process without any privilege and the parent checks the files
// afterwards.
#include <sys/stat.h>

#include <QAction>
#include <QTreeWidget>
#include <filesystem>

#include "DrillWindow.h"
#include "ZipArchives.h"
#include "common/Paths.h"
#include "net/ZipExtractor.h"
#include "settings/SettingsDialog.h"
#include "support/HttpTestServer.h"
#include "support/Widgets.h"

namespace fs = std::filesystem;
using drills::entriesOf;
using quorrel::MsgButton;
using testsupport::readFile;
using testsupport::widget;
using testsupport::writeFile;

namespace {

const std::string Settings =
    "[Update Server]\r\nhttp://127.0.0.1:1/\r\n3\r\n1\r\n\r\n[Proxy Settings]\r\n0\r\nproxy\r\n3128\r\nuser\r\n"
    "secret\r\n\r\n[Connection]\r\nCOM3\r\n115200\r\n1\r\n\r\n[Interface]\r\n0\r\n";
const std::string Catalogue =
    "<model name=\"SGH-X100\" disp=\"128\" desc=\"\" vers=\"7\" pic=\"x100\">\r\n"
    "<folder name=\"Arcade\" desc=\"\" pic=\"arcade\">\r\n<game name=\"Blocks\">\r\n<file=\"blocks\">\r\n"
    "<game name=\"Chess\">\r\n<file=\"chess\">\r\n</folder>\r\n<end>\r\n";

void chmodOrFail(const std::string& path, mode_t mode) { ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path; }

class ReadOnlyDrill : public DrillWindow {
 protected:
  // The parent's half: the files every drill starts from, open to their owner.
  void prepare() {
    writeFile("Quorrel.ini", Settings);
    writeFile("Javadata.xml", Catalogue);
    fs::create_directories("Base/games");
    fs::create_directories("Base/dir");
    for (const char* file : {"Quorrel.ini", "Javadata.xml"}) chmodOrFail(file, 0644);
  }

  bool errorShown(const QString& text) const {
    for (const QString& e : prompter.errors()) {
      if (e == text) return true;
    }
    return false;
  }
};

}  // namespace

TEST_F(ReadOnlyDrill, ReadOnlySettingsFileRefusesEverySaveAndStaysAsItWas) {
  if (!drills::inChild()) {
    prepare();
    drills::giveToNobody("Quorrel.ini");
    chmodOrFail("Quorrel.ini", 0444);
    ASSERT_EQ(drills::runCurrentTestInChild({true, -1}), 0);
    EXPECT_EQ(readFile("Quorrel.ini"), Settings);
    EXPECT_EQ(entriesOf(folder), (std::vector<std::string>{"Base", "Javadata.xml", "Quorrel.ini"}));
    return;
  }
  startWindow();
  EXPECT_TRUE(startErrors.empty());
  form->guarded([&] { form->toggleAutoCompile(); });
  form->guarded([&] { form->toggleSortMode(); });
  form->guarded([&] { form->settingsDialog()->save(); });
  ASSERT_EQ(prompter.errors().size(), 3u);
  for (const QString& e : prompter.errors()) EXPECT_EQ(e, QStringLiteral("File access denied."));
  // The new marks stay in effect although they were not saved.
  EXPECT_FALSE(widget<QAction>(*form, "autoCompileAction")->isChecked());
  EXPECT_TRUE(widget<QAction>(*form, "manualSortAction")->isChecked());
}

TEST_F(ReadOnlyDrill, ReadOnlyCatalogueLoadsAndAReadOnlyFolderStopsTheLoadCleanly) {
  if (!drills::inChild()) {
    prepare();
    chmodOrFail("Javadata.xml", 0444);
    ASSERT_EQ(drills::runCurrentTestInChild({true, -1}), 0);
    // Now the folder itself is closed: the outline "javabase.tmp" cannot be made.
    chmodOrFail(folder, 0555);
    ASSERT_EQ(drills::runCurrentTestInChild({true, -1}), 0);
    chmodOrFail(folder, 0777);
    EXPECT_EQ(readFile("Javadata.xml"), Catalogue);
    EXPECT_EQ(entriesOf(folder), (std::vector<std::string>{"Base", "Javadata.xml", "Quorrel.ini"}));
    return;
  }
  startWindow();
  // Which run this is follows from the folder's mode, not from what the child may do: a child that could
  // still write there must fail the second run, not pass the first one twice.
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  if ((st.st_mode & S_IWUSR) != 0) {
    EXPECT_TRUE(startErrors.empty());
    EXPECT_EQ(form->catalogue().gameCount(), 2);
    EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->topLevelItemCount(), 2);  // the model and the news entry
    return;
  }
  ASSERT_EQ(startErrors.size(), 1u);
  EXPECT_EQ(startErrors.front(), QStringLiteral("File access denied."));
  EXPECT_EQ(form->catalogue().gameCount(), 0);
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->topLevelItemCount(), 0);
  // The settings were read before the catalogue, and the window works on.
  EXPECT_EQ(form->settings().updateServer(), "http://127.0.0.1:1/");
  form->guarded([&] { form->browser().loadCatalogue(); });
  EXPECT_TRUE(errorShown(QStringLiteral("File access denied.")));
}

TEST_F(ReadOnlyDrill, ReadOnlyTargetFolderFailsTheDownloadAndTheExtractionAndKeepsItsFiles) {
  const std::string oldGame = "the game as it was";
  const std::string oldPicture = "GIF89a the picture as it was";
  if (!drills::inChild()) {
    prepare();
    writeFile("Base/games/game.jar", oldGame);
    writeFile("Base/dir/arcade.gif", oldPicture);
    ziptest::setMtime("Base/dir/arcade.gif", 1000000000);  // older than the archive's copy
    writeFile("pictures.zip", ziptest::rawZip({ziptest::plain("arcade.gif", "GIF89a new picture"),
                                               ziptest::plain("racing.gif", "GIF89a another one")}));
    chmodOrFail("pictures.zip", 0644);
    chmodOrFail("Base/games", 0555);
    chmodOrFail("Base/dir", 0555);
    ASSERT_EQ(drills::runCurrentTestInChild({true, -1}), 0);
    EXPECT_EQ(readFile("Base/games/game.jar"), oldGame);
    EXPECT_EQ(readFile("Base/dir/arcade.gif"), oldPicture);
    EXPECT_EQ(entriesOf(folder + "Base/games"), std::vector<std::string>{"game.jar"});
    EXPECT_EQ(entriesOf(folder + "Base/dir"), std::vector<std::string>{"arcade.gif"});
    return;
  }
  startWindow();
  testsupport::HttpTestServer server;
  server.route("/Base/games/game.jar", testsupport::HttpReply::ok("a newer and longer copy of the game"));
  form->settings().setUpdateServer(server.base());
  prompter.answers = {MsgButton::Yes};
  form->guarded([&] { form->downloads().downloadFromServer("Base/games/game.jar"); });
  EXPECT_TRUE(prompter.errors().empty());
  ASSERT_FALSE(log().empty());
  EXPECT_TRUE(log().front().startsWith(downloadFailed())) << log().front().toStdString();
  EXPECT_FALSE(form->commandState().busy());

  ZipExtractor zip(nullptr, &prompter);
  int skipped = -1;
  zip.handlers.batchEnded = [&](std::int32_t skippedCount, std::int32_t, std::int32_t) { skipped = skippedCount; };
  zip.setZipFileName(folder + "pictures.zip");
  zip.extractDir = folder + "Base/dir/";
  zip.showProgressDialog = false;
  EXPECT_EQ(zip.extract(), 0);  // nothing written
  EXPECT_EQ(skipped, 2);        // and both members reported as skipped
  ASSERT_EQ(::chdir(folder.c_str()), 0);
}
