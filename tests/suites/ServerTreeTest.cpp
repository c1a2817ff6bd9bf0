// A folder of games made into an update server's tree, by the library and by the quorrel-catalogue program,
// then served by python3's http.server on 127.0.0.1, over HTTP and HTTPS, and fetched by a real update of the
// window in each mode.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/MainWindow.h"
#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "net/CatalogueUpdate.h"
#include "net/ZipArchives.h"
#include "settings/Settings.h"
#include "suites/ServerTree.h"
#include "support/Gif.h"
#include "support/ScriptedPrompter.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::string manifest(const std::string& name, const std::string& extra = {}) {
  return "Manifest-Version: 1.0\r\nMIDlet-Name: " + name + "\r\nMIDlet-Version: 1.0\r\nMIDlet-Vendor: Kelvor\r\n" +
         "MIDlet-1: " + name + ", /icon.png, Main\r\nMicroEdition-Profile: MIDP-2.0\r\n" +
         "MicroEdition-Configuration: CLDC-1.1\r\nMIDlet-Description: About " + name + "\r\n" + extra;
}

std::string jar(const std::string& name, const std::vector<ziptest::RawMember>& more = {}) {
  std::vector<ziptest::RawMember> members{ziptest::plain("META-INF/MANIFEST.MF", manifest(name)),
                                          ziptest::plain("Main.class", std::string(3000, 'c') + name)};
  members.insert(members.end(), more.begin(), more.end());
  return ziptest::rawZip(members);
}

std::string png(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

std::string descriptorFor(const std::string& name, std::size_t size) {
  return "MIDlet-Name: " + name + "\r\nMIDlet-Version: 1.0\r\nMIDlet-Vendor: Kelvor\r\nMIDlet-Jar-URL: x.jar\r\n" +
         "MIDlet-Jar-Size: " + std::to_string(size) + "\r\n";
}

// games/: one game at the top with a .jad and a GIF screenshot, "Аркады" with a .jar alone that has an icon, a
// .jar with a PNG screenshot and a wrong size in its .jad, and a damaged archive.
void makeGames() {
  const std::string top = jar("Tetra");
  writeFile("games/Tetra.jar", top);
  writeFile("games/Tetra.jad", descriptorFor("Tetra", top.size()));
  writeFile("games/Tetra.gif", testsupport::animatedGif(64, 80));
  writeFile("games/Аркады/Бег.jar", jar("Бег", {ziptest::plain("icon.png", png(24, 24))}));
  const std::string moto = jar("Moto \"X\"");
  writeFile("games/Аркады/moto.jar", moto);
  writeFile("games/Аркады/moto.jad", descriptorFor("Moto \"X\"", moto.size() + 7));
  writeFile("games/Аркады/moto.png", png(200, 300));
  writeFile("games/Аркады/folder.txt", "Быстрые игры");
  writeFile("games/Аркады/broken.jar", "PK\x03\x04 not really");
}

class ServerTree : public ::testing::Test {
 protected:
  void startWindow(int mode) {
    writeFile("work/Quorrel.ini", "[Update Server]\r\nhttp://127.0.0.1:1/\r\n" + std::to_string(mode) +
                                      "\r\n1\r\n\r\n[Proxy Settings]\r\n0\r\n\r\n\r\n\r\n\r\n\r\n[Connection]\r\n"
                                      "COM1\r\n115200\r\n1\r\n\r\n[Interface]\r\n0\r\n");
    std::filesystem::current_path(dir / "work");
    form = createApplicationWindows(&prompter);
    prompter.clear();  // the missing catalogue
  }

  testsupport::TempWorkDir dir;
  testsupport::ScriptedPrompter prompter;
  std::unique_ptr<MainWindow> form;
};

TEST_F(ServerTree, EveryModeOfAnUpdateGetsWhatItAsksForAndTheGamesArriveByteForByte) {
  makeGames();
  const auto gamesBefore = ziptest::treeOf(dir / "games");
  quorrel::suites::BuildOptions options;
  options.model = "SGH-X100";
  options.version = "7";
  const quorrel::suites::BuildReport report = quorrel::suites::buildServerTree(dir / "games", dir / "tree", options);
  EXPECT_EQ(report.games, 3u);
  ASSERT_EQ(report.leftOut.size(), 1u);
  EXPECT_NE(report.leftOut[0].find("broken.jar"), std::string::npos);
  EXPECT_EQ(ziptest::treeOf(dir / "games"), gamesBefore);  // the games' folder is only read

  testsupport::PythonHttpServer python(dir / "tree");
  // The same tree over HTTPS, with a certificate of the test's own authority.
  writeFile("certs/.keep", "");
  const testsupport::TestCertificates certs(dir / "certs");
  testsupport::PythonHttpsServer secure(dir / "tree", certs.serverCertificate, certs.serverKey);
  ::setenv("SSL_CERT_FILE", certs.authority.c_str(), 1);
  const std::vector<std::pair<int, std::string>> runs = {
      {1, python.base()}, {2, python.base()}, {3, python.base()}, {3, secure.base()}};
  for (const auto& [mode, address] : runs) {
    SCOPED_TRACE(address + " mode " + std::to_string(mode));
    testsupport::removeTree(dir / "work");
    startWindow(mode);
    form->settings().setUpdateServer(address);
    form->guarded([this] { form->catalogueUpdate().updateCatalogue(); });
    EXPECT_EQ(prompter.texts(), std::vector<QString>{QStringLiteral("База данных успешно обновлена!")});
    const quorrel::Catalogue& c = form->catalogue();
    ASSERT_EQ(c.gameCount(), 3);
    EXPECT_EQ(c.folderCount(), 2);
    EXPECT_EQ(c.baseVersion(), "7");
    EXPECT_EQ(c.games()[1].name, "Tetra");
    EXPECT_EQ(c.games()[1].owner, "Kelvor");
    EXPECT_EQ(c.games()[1].description, "About Tetra");
    EXPECT_EQ(c.games()[2].name, testsupport::cp1251("Moto “X”"));
    EXPECT_EQ(c.games()[3].name, testsupport::cp1251("Бег"));
    EXPECT_TRUE(exists("Base/dir/template.gif"));
    EXPECT_TRUE(exists("Base/dir/news.gif"));
    EXPECT_FALSE(exists("Base/dir/dir.lst"));
    EXPECT_TRUE(exists("Base/news.new"));
    for (int i = 1; i <= c.gameCount(); ++i) {
      const quorrel::GameEntry& g = c.games()[static_cast<std::size_t>(i)];
      EXPECT_EQ(exists("Base/screen/" + g.screen), mode >= 2) << g.screen;
      if (mode >= 2) {
        EXPECT_EQ(readFile("Base/screen/" + g.screen), readFile(dir / ("tree/Base/screen/" + g.screen)));
      }
      EXPECT_EQ(exists("Base/games/" + g.file + ".jar"), mode == 3) << g.file;
      if (mode == 3) {
        EXPECT_EQ(readFile("Base/games/" + g.file + ".jar"), readFile(dir / ("tree/Base/games/" + g.file + ".jar")));
        EXPECT_EQ(std::to_string(readFile("Base/games/" + g.file + ".jar").size()), g.size);
      }
    }
    form.reset();
    std::filesystem::current_path(dir.path());
  }
  ::unsetenv("SSL_CERT_FILE");
  // The screenshot beside the game is taken as it is; the PNG is made a GIF no taller than the screen.
  EXPECT_EQ(readFile(dir / "tree/Base/screen/Tetra.gif"), readFile(dir / "games/Tetra.gif"));
  QImage moto;
  ASSERT_TRUE(moto.load(QString::fromStdString(dir / "tree/Base/screen/moto.gif")));
  EXPECT_EQ(moto.height(), 128);
  // The descriptor in the tree names the archive as it lies beside it on the phone, and its true size.
  const std::string jad = readFile(dir / "tree/Base/games/moto.jad");
  EXPECT_NE(jad.find("MIDlet-Jar-URL: moto_suite.jar\r\n"), std::string::npos);
  EXPECT_NE(jad.find("MIDlet-Jar-Size: " + std::to_string(readFile(dir / "games/Аркады/moto.jar").size())),
            std::string::npos);
}

TEST_F(ServerTree, BuildRefusesAFolderThatIsNotATreeAndMakesAGoneGameGoAgain) {
  makeGames();
  writeFile("site/index.html", "my web site");
  EXPECT_THROW(quorrel::suites::buildServerTree(dir / "games", dir / "site", {}), quorrel::QuorrelError);
  EXPECT_EQ(readFile("site/index.html"), "my web site");
  EXPECT_THROW(quorrel::suites::buildServerTree(dir / "games", dir / "games/tree", {}), quorrel::QuorrelError);
  EXPECT_FALSE(exists("games/tree"));

  quorrel::suites::buildServerTree(dir / "games", dir / "tree", {});
  EXPECT_TRUE(exists("tree/Base/games/Tetra.jar"));
  std::filesystem::remove(dir / "games/Tetra.jar");
  quorrel::suites::buildServerTree(dir / "games", dir / "tree", {});
  EXPECT_FALSE(exists("tree/Base/games/Tetra.jar"));
  EXPECT_FALSE(exists("tree/Base/screen/Tetra.gif"));
  EXPECT_TRUE(exists("tree/Base/games/moto.jar"));
}

// ---- The command-line program ----

struct ToolRun {
  int code;
  std::string out;
};

ToolRun tool(const std::string& args) {
  const std::string command = testsupport::binDir() + "quorrel-catalogue " + args + " 2>&1";
  std::FILE* p = ::popen(command.c_str(), "r");
  ToolRun r{-1, {}};
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST_F(ServerTree, ProgramExitCodesCheckAndFix) {
  makeGames();
  EXPECT_EQ(tool("--help").code, 0);
  EXPECT_EQ(tool("--version").out, "quorrel-catalogue " QUORREL_VERSION "\n");
  EXPECT_EQ(tool("").code, 2);
  EXPECT_EQ(tool("build games").code, 2);
  EXPECT_EQ(tool("build games tree --height 100").code, 2);
  EXPECT_EQ(tool("frobnicate").code, 2);
  EXPECT_EQ(tool("check nowhere").code, 3);

  const auto before = ziptest::treeOf(dir / "games");
  const ToolRun check = tool("check games");
  EXPECT_EQ(check.code, 1) << check.out;
  EXPECT_NE(check.out.find("MIDlet-Jar-Size в описателе"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("broken.jar"), std::string::npos) << check.out;
  EXPECT_EQ(ziptest::treeOf(dir / "games"), before);

  const std::string oldJad = readFile("games/Аркады/moto.jad");
  const ToolRun fix = tool("check games --fix");
  EXPECT_EQ(fix.code, 1) << fix.out;  // the damaged archive cannot be mended
  EXPECT_EQ(readFile("games/Аркады/moto.jad.bak"), oldJad);
  EXPECT_TRUE(exists("games/Аркады/Бег.jad"));  // made for the .jar that came alone
  std::filesystem::remove(dir / "games/Аркады/broken.jar");
  EXPECT_EQ(tool("check games").code, 0) << tool("check games").out;

  const ToolRun build = tool("build games tree --model SGH-E700 --height 160");
  EXPECT_EQ(build.code, 0) << build.out;
  EXPECT_NE(build.out.find("игр в каталоге — 3"), std::string::npos) << build.out;
  EXPECT_TRUE(exists("tree/Javadata.zip"));
}

}  // namespace
