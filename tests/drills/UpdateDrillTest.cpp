// The catalogue update when things break: the archive's transfer cut at every stage, the unzip library
// failing, the disk filling up while the archive is unpacked, the working folder closed to writing. Each
// time the old catalogue is back under its own name, the window is idle again, and the success message is
// never shown.
#include <sys/stat.h>
#include <unistd.h>

#include <QTreeWidget>
#include <csignal>
#include <filesystem>

#include "DrillWindow.h"
#include "ZipArchives.h"
#include "common/Paths.h"
#include "net/ZipExtractor.h"
#include "support/Widgets.h"

using drills::okReply;
using testsupport::readFile;
using testsupport::widget;
using testsupport::writeFile;

namespace {

const std::string OldCatalogue = "<model name=\"Old\" disp=\"128\" desc=\"\" vers=\"1\" pic=\"\">\r\n<end>\r\n";
const std::string NewCatalogue =
    "<model name=\"New\" disp=\"128\" desc=\"\" vers=\"2\" pic=\"\">\r\n<game name=\"Chess\">\r\n"
    "<file=\"chess\">\r\n<screen=\"chess.gif\">\r\n<end>\r\n";

const QString& updated() {
  static const QString text = QStringLiteral("База данных успешно обновлена!");
  return text;
}

// A catalogue member that cannot be squeezed, so that it takes its full size on disk.
std::string bulkyCatalogue(std::size_t size) {
  std::string text = NewCatalogue;
  text.reserve(size);
  for (std::size_t i = 0; text.size() < size; ++i) text.push_back(static_cast<char>((i * 7919 + i / 13) & 0xFF));
  return text;
}

class UpdateDrill : public DrillWindow {
 protected:
  void SetUp() override {
    DrillWindow::SetUp();
    if (!drills::inChild()) writeFile("Javadata.xml", OldCatalogue);
    startWindow();
    form->settings().setUpdateServer(server.base());
    form->settings().setUpdateMode(quorrel::UpdateMode::CatalogueOnly);
    form->settings().setUpdateFolderPictures(false);
  }

  void update() {
    prompter.clear();
    widget<QComboBox>(*form, "messageLog")->clear();
    form->guarded([&] { form->catalogueUpdate().updateCatalogue(); });
  }

  // What every failed update must leave: the old catalogue in place, nothing of the update lying about,
  // the window idle, and no word of success.
  void expectOldCatalogueBack(const std::string& where) const {
    EXPECT_EQ(readFile(where + "Javadata.xml"), OldCatalogue);
    EXPECT_FALSE(quorrel::fileExists(where + "Javadata.tmp"));
    EXPECT_FALSE(quorrel::fileExists(where + "Javadata.zip"));
    EXPECT_FALSE(form->commandState().busy());
    EXPECT_TRUE(widget<QTreeWidget>(*form, "catalogueTree")->isEnabled());
    for (const QString& text : prompter.texts()) EXPECT_NE(text, updated());
    EXPECT_FALSE(prompter.texts().empty()) << "the failure was not reported";
  }

  drills::DroppingServer server;
};

}  // namespace

TEST_F(UpdateDrill, ArchiveTransferCutAtEveryStageKeepsTheOldCatalogue) {
  const std::string archive = ziptest::rawZip({ziptest::plain("Javadata.xml", NewCatalogue)});
  const std::string reply = okReply(archive);
  const std::size_t head = reply.size() - archive.size();
  std::vector<std::size_t> cuts;
  for (std::size_t at = 0; at < head; at += 7) cuts.push_back(at);
  for (std::size_t at : {head, head + 1, head + 30, head + archive.size() / 2, reply.size() - 23, reply.size() - 1})
    cuts.push_back(at);
  for (std::size_t cut : cuts) {
    SCOPED_TRACE("archive cut after " + std::to_string(cut) + " bytes");
    server.setReply(reply, 1, cut);  // connection 0 is the size query, 1 the archive itself
    update();
    expectOldCatalogueBack(folder);
    ASSERT_FALSE(HasFailure());
  }
  // The same server, whole this time: the update goes through.
  server.setReply(reply, -1, 0);
  update();
  EXPECT_EQ(readFile("Javadata.xml"), NewCatalogue);
  EXPECT_EQ(prompter.texts().back(), updated());
  EXPECT_EQ(form->catalogue().gameCount(), 1);
}

TEST_F(UpdateDrill, UnzipLibraryFailingInTheMiddleKeepsTheOldCatalogue) {
  server.setReply(okReply(ziptest::rawZip({ziptest::plain("Javadata.xml", NewCatalogue)})), -1, 0);
  form->catalogueUpdate().zip().dllDirectory = testsupport::binDir() + "failing";
  update();
  expectOldCatalogueBack(folder);
}

TEST_F(UpdateDrill, DiskFullWhileUnpackingKeepsTheOldCatalogue) {
  const std::string archive = ziptest::rawZip({ziptest::plain("Javadata.xml", bulkyCatalogue(100 * 1024))});
  server.setReply(okReply(archive), -1, 0);
  drills::SmallDisk disk(folder + "disk", 384);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs here: the unpacking drill of the zip component covers a full disk";
  const std::string where = folder + "disk/";
  ASSERT_EQ(::chdir(where.c_str()), 0);
  writeFile("Javadata.xml", OldCatalogue);
  // Room for the archive, not for the archive and the catalogue unpacked from it.
  disk.fillLeaving("filler", 160 * 1024);
  update();
  expectOldCatalogueBack(where);
  ASSERT_EQ(::chdir(folder.c_str()), 0);
}

TEST_F(UpdateDrill, ReadOnlyWorkingFolderKeepsTheOldCatalogue) {
  if (!drills::inChild()) {
    writeFile("Javadata.xml", OldCatalogue);
    std::filesystem::create_directories("Base/games");
    ASSERT_EQ(::chmod("Javadata.xml", 0644), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    ASSERT_EQ(drills::runCurrentTestInChild({true, -1}), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(readFile("Javadata.xml"), OldCatalogue);
    return;
  }
  server.setReply(okReply(ziptest::rawZip({ziptest::plain("Javadata.xml", NewCatalogue)})), -1, 0);
  update();
  expectOldCatalogueBack(folder);
}

TEST_F(UpdateDrill, KilledWhileUnpackingTheNextStartBringsTheCatalogueBackAndCleansUp) {
  if (drills::inChild()) {
    const std::string bulk(1024 * 1024, 'b');
    server.setReply(
        okReply(ziptest::rawZip({ziptest::plain("Javadata.xml", NewCatalogue), ziptest::plain("Base/bulk.bin", bulk)})),
        -1, 0);
    form->catalogueUpdate().zip().handlers.progress = [](const std::string& name, std::int32_t, std::int32_t) {
      if (name == "Base/bulk.bin") std::raise(SIGKILL);
    };
    update();
    return;
  }
  form.reset();
  ASSERT_EQ(drills::runCurrentTestInChild({}), 128 + SIGKILL);
  // What the kill left: the catalogue only as its backup, the archive, the unpacking's folder.
  EXPECT_FALSE(quorrel::fileExists("Javadata.xml"));
  EXPECT_EQ(readFile("Javadata.tmp"), OldCatalogue);
  EXPECT_TRUE(quorrel::fileExists("Javadata.zip"));
  const auto staging = [] {
    int n = 0;
    for (const std::string& name : drills::entriesOf(".")) n += name.rfind("Javadata.unz", 0) == 0 ? 1 : 0;
    return n;
  };
  EXPECT_EQ(staging(), 1);

  startWindow();
  EXPECT_EQ(readFile("Javadata.xml"), OldCatalogue);
  EXPECT_FALSE(quorrel::fileExists("Javadata.tmp"));
  EXPECT_EQ(staging(), 0);
  EXPECT_FALSE(quorrel::fileExists("Base/bulk.bin"));
  // With the server gone, the archive left behind does not pass for an update.
  form->settings().setUpdateServer("http://127.0.0.1:1/");
  update();
  expectOldCatalogueBack(folder);
  EXPECT_EQ(prompter.texts(), std::vector<QString>{QStringLiteral("Сервер не найден!")});
}
