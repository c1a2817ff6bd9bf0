// The virtual phone sghfs.wfx, loaded by its bare name through the binding exactly as the application does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStringDecoder>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "phone/PluginBinding.h"
#include "support/TempDir.h"

using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

class VirtualPhone : public ::testing::Test {
 protected:
  void SetUp() override {
    PluginBinding::unload();
    ::setenv("SGHFS_PHONES", (dir / "phones").c_str(), 1);
    writeFile(phone("phone.ini"), "Manufacturer=SAMSUNG\r\nModel=SGH-E700\r\nSerial=350123\r\n");
    writeFile(phone("java/.keep"), "");
    std::remove(phone("java/.keep").c_str());
    ASSERT_TRUE(PluginBinding::load("sghfs.wfx"));
  }
  void TearDown() override {
    PluginBinding::unload();
    ::unsetenv("SGHFS_PHONES");
  }

  std::string phone(const std::string& relative) const { return dir / ("phones/COM1/" + relative); }

  PluginBinding::ConnectResult connect(std::uint8_t port = 1) {
    return PluginBinding::connect(
        port, 115200, [this](const std::string& t) { logs.push_back(t); },
        [this](const std::string&, const std::string& t, int p) { progress.push_back(t + ":" + std::to_string(p)); });
  }

  std::vector<std::string> operations() const {
    std::vector<std::string> lines;
    const std::string text = readFile(phone("operations.log"));
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  std::vector<std::string> listing(const std::string& path) {
    std::vector<std::string> out;
    SghfsFindData d{};
    const SghfsHandle h = PluginBinding::findFirst(path, d);
    if (h == SGHFS_INVALID_HANDLE) return out;
    do {
      out.push_back(std::string(d.cFileName) +
                    ((d.dwFileAttributes & SGHFS_ATTR_DIRECTORY) ? " <DIR>" : " " + std::to_string(d.nFileSizeLow)));
    } while (PluginBinding::findNext(h, d));
    PluginBinding::findClose(h);
    return out;
  }

  std::int32_t put(const std::string& local, std::string remote, bool overwrite = true) {
    return PluginBinding::putFile(dir / local, remote, overwrite);
  }

  std::int32_t compile(const std::function<void(std::string&)>& handler = nullptr) {
    return PluginBinding::compileJava(true, handler);
  }

  void installGame(const std::string& file, const std::string& name) {
    writeFile(phone("java/" + file + "_suite.jad"), "MIDlet-Version: 1.0\r\nMIDlet-Name: " + name + "\r\n");
  }

  testsupport::TempWorkDir dir;
  std::vector<std::string> logs;
  std::vector<std::string> progress;
};

}  // namespace

TEST_F(VirtualPhone, ConnectAnswersTheThreeIdentityCommandsAsAPhoneDoes) {
  EXPECT_EQ(PluginBinding::pluginVersion, "sghfs.wfx virtual phone 1.0");
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  const auto reply = PluginBinding::sendCommand("AT+CGMI");
  EXPECT_EQ(reply.body, "SAMSUNG");
  EXPECT_EQ(reply.status, "OK");
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").body, "SGH-E700");
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGSN").body, "350123");
  const auto unknown = PluginBinding::sendCommand("AT+CBC");
  EXPECT_EQ(unknown.status, "ERROR");
  EXPECT_EQ(unknown.body, "");
  PluginBinding::disconnect();
  EXPECT_EQ(operations(),
            (std::vector<std::string>{"connect COM1 115200", "AT+CGMI", "AT+CGMM", "AT+CGSN", "AT+CBC", "disconnect"}));
}

TEST_F(VirtualPhone, PortWithoutItsFolderHasNoPhoneAndSaysWhy) {
  EXPECT_EQ(connect(2), PluginBinding::ConnectResult::Refused);
  EXPECT_FALSE(PluginBinding::isConnected());
  EXPECT_EQ(connect(2), PluginBinding::ConnectResult::Refused);  // now the handler is registered and hears why
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(logs[0].find("COM2"), std::string::npos);
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMI").status, "ERROR");
}

TEST_F(VirtualPhone, JavaFolderIsListedWithSizesAndFolders) {
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  EXPECT_TRUE(listing("/java/").empty());
  writeFile(phone("java/b_suite.jar"), std::string(1234, 'x'));
  writeFile(phone("java/a_suite.jad"), "MIDlet-Name: A\r\n");
  writeFile(phone("java/sub/x"), "");
  EXPECT_EQ(listing("/java/"), (std::vector<std::string>{"a_suite.jad 16", "b_suite.jar 1234", "sub <DIR>"}));
  EXPECT_EQ(listing("/"), std::vector<std::string>{"java <DIR>"});
  EXPECT_TRUE(listing("/java/../").empty());  // nothing outside the Java folder shows
}

TEST_F(VirtualPhone, PutCopiesIntoTheJavaFolderWithProgressAndHonoursOverwrite) {
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  writeFile("ball.jad", "descriptor");
  ASSERT_EQ(put("ball.jad", "/java/ball_suite.jad"), SGHFS_FILE_OK);
  EXPECT_EQ(readFile(phone("java/ball_suite.jad")), "descriptor");
  EXPECT_EQ(progress.back(), "/java/ball_suite.jad:100");
  ASSERT_FALSE(logs.empty());
  EXPECT_NE(logs.back().find("/java/ball_suite.jad"), std::string::npos);

  writeFile("ball.jad", "newer");
  EXPECT_EQ(put("ball.jad", "/java/ball_suite.jad", false), SGHFS_FILE_EXISTS);
  EXPECT_EQ(readFile(phone("java/ball_suite.jad")), "descriptor");
  EXPECT_EQ(put("ball.jad", "/java/ball_suite.jad", true), SGHFS_FILE_OK);
  EXPECT_EQ(readFile(phone("java/ball_suite.jad")), "newer");

  EXPECT_EQ(put("missing.jad", "/java/m_suite.jad"), SGHFS_FILE_NOTFOUND);
  EXPECT_FALSE(exists(phone("java/m_suite.jad")));
  EXPECT_EQ(operations().back(), "put /java/m_suite.jad failed: no source");
}

TEST_F(VirtualPhone, NoPathLeavesThePhonesJavaFolder) {
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  writeFile("evil", "x");
  const std::string before = readFile(phone("phone.ini"));
  for (const std::string remote :
       {"/java/../phone.ini", "/java/..\\..\\COM2/phone.ini", "/phone.ini", "/java", "/other/x", "/java/nofolder/x"}) {
    EXPECT_NE(put("evil", remote), SGHFS_FILE_OK) << remote;
  }
  EXPECT_EQ(readFile(phone("phone.ini")), before);
  EXPECT_FALSE(exists(dir / "phones/COM2"));
  EXPECT_FALSE(exists(phone("other")));
  // A name written with back slashes comes back as the phone's own name.
  std::string remote = "\\java\\evil";
  EXPECT_EQ(PluginBinding::putFile(dir / "evil", remote, true), SGHFS_FILE_OK);
  EXPECT_EQ(remote, "/java/evil");
}

TEST_F(VirtualPhone, CopyCutShortFailsAndLeavesNothingBehind) {
  writeFile(phone("phone.ini"), "Model=X\r\nFailAfterBytes=1000\r\n");
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  writeFile("big.jar", std::string(5000, 'j'));
  writeFile(phone("java/big_suite.jar"), "old copy");
  EXPECT_EQ(put("big.jar", "/java/big_suite.jar"), SGHFS_FILE_WRITEERROR);
  EXPECT_EQ(readFile(phone("java/big_suite.jar")), "old copy");
  EXPECT_EQ(listing("/java/"), std::vector<std::string>{"big_suite.jar 8"});
  EXPECT_EQ(operations().back(), "put /java/big_suite.jar failed after 1000 bytes");
}

TEST_F(VirtualPhone, LimitedSpeedReportsProgressAlongTheWay) {
  writeFile(phone("phone.ini"), "Model=X\r\nBytesPerSecond=10240\r\n");
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  writeFile("slow.jar", std::string(4096, 's'));
  ASSERT_EQ(put("slow.jar", "/java/slow_suite.jar"), SGHFS_FILE_OK);
  EXPECT_EQ(progress, (std::vector<std::string>{"/java/slow_suite.jar:25", "/java/slow_suite.jar:50",
                                                "/java/slow_suite.jar:75", "/java/slow_suite.jar:100"}));
}

TEST_F(VirtualPhone, RebuildKeepsListedOrderAppendsNewByFileNameAndDropsGone) {
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  installGame("zeta", "Zeta");
  installGame("alpha", "Alpha");
  installGame("mid", "Mid");
  writeFile(phone("javalist.txt"), "Mid\r\nGone\r\nZeta\r\n");
  std::string seen;
  ASSERT_TRUE(compile([&](std::string& list) { seen = list; }));
  EXPECT_EQ(seen, "Mid\r\nZeta\r\nAlpha\r\n");
  EXPECT_EQ(readFile(phone("javalist.txt")), "Mid\r\nZeta\r\nAlpha\r\n");
  EXPECT_EQ(operations().back(), "rebuild 3 entries");

  // A reordering is kept; anything else is refused and the phone keeps its list.
  compile([](std::string& list) { list = "Alpha\nMid\nZeta"; });
  EXPECT_EQ(readFile(phone("javalist.txt")), "Alpha\r\nMid\r\nZeta\r\n");
  compile([](std::string& list) { list = "Alpha\r\nMid\r\n"; });
  EXPECT_EQ(readFile(phone("javalist.txt")), "Alpha\r\nMid\r\nZeta\r\n");
  compile(nullptr);
  EXPECT_EQ(readFile(phone("javalist.txt")), "Alpha\r\nMid\r\nZeta\r\n");
}

TEST_F(VirtualPhone, RefusedRebuildLeavesTheListAsItWas) {
  writeFile(phone("phone.ini"), "Model=X\r\nRefuseRebuild=1\r\n");
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  installGame("a", "A");
  writeFile(phone("javalist.txt"), "Old\r\n");
  bool called = false;
  compile([&](std::string&) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_EQ(readFile(phone("javalist.txt")), "Old\r\n");
  EXPECT_EQ(operations().back(), "rebuild refused");
}

TEST_F(VirtualPhone, ConnectLoadsThePluginWhenStartUpHadNone) {
  PluginBinding::unload();
  PluginBinding::pluginVersion.clear();
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  EXPECT_TRUE(PluginBinding::isLoaded());
  EXPECT_EQ(PluginBinding::pluginVersion, "sghfs.wfx virtual phone 1.0");
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").body, "SGH-E700");
}

TEST_F(VirtualPhone, DescriptorNamesInUtf8ReachTheListInWindows1251) {
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  // Every character Windows-1251 has above ASCII (0x98 has none), written in UTF-8 as MIDP descriptors are.
  std::string ansiBytes;
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (b != 0x98) ansiBytes += static_cast<char>(b);
  }
  const QString all = QStringDecoder("windows-1251").decode(QByteArray::fromStdString(ansiBytes));
  installGame("a", ("All " + all.toUtf8() + " end").toStdString());
  installGame("b", "\xD2\xE5\xF2\xF0\xE8\xF1");    // not UTF-8: already Windows-1251, kept
  installGame("c", "\xE6\xB8\xB8\xE6\x88\x8F 2");  // characters Windows-1251 lacks
  installGame("d", "\xC3\x28 bad");                // a broken sequence: kept as it is
  std::string seen;
  compile([&](std::string& list) { seen = list; });
  EXPECT_EQ(seen, "All " + ansiBytes + " end\r\n\xD2\xE5\xF2\xF0\xE8\xF1\r\n?? 2\r\n\xC3\x28 bad\r\n");
  EXPECT_EQ(readFile(phone("javalist.txt")), seen);
}

TEST_F(VirtualPhone, ListTooLongToCrossThePluginFailsTheRebuildUncut) {
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  writeFile(phone("javalist.txt"), "Old\r\n");
  for (int i = 0; i < 660; ++i)
    installGame("g" + std::to_string(1000 + i), std::to_string(1000 + i) + std::string(96, 'n'));
  bool called = false;
  compile([&](std::string&) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_EQ(readFile(phone("javalist.txt")), "Old\r\n");
  EXPECT_EQ(operations().back(), "rebuild failed: list of 67320 characters");
  ASSERT_FALSE(logs.empty());
  EXPECT_NE(logs.back().find("67320"), std::string::npos);

  // Without a list callback nothing crosses, and the phone rebuilds its list.
  compile(nullptr);
  EXPECT_EQ(readFile(phone("javalist.txt")).size(), 67320u);
}

TEST_F(VirtualPhone, SymbolicLinksInsideThePhoneFolderAreNeverFollowed) {
  writeFile("outside/secret.txt", "keep");
  writeFile("outside/game_suite.jad", "MIDlet-Name: Outside\r\n");
  writeFile("evil.jad", "MIDlet-Name: Evil\r\n");
  const std::string outside = dir / "outside";
  // Links in the Java folder: to a file (as a phone file to replace) and to a descriptor elsewhere.
  ASSERT_EQ(::symlink((outside + "/secret.txt").c_str(), phone("java/x_suite.jad").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/game_suite.jad").c_str(), phone("java/link_suite.jad").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/secret.txt").c_str(), phone("javalist.txt").c_str()), 0);
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  EXPECT_NE(put("evil.jad", "/java/x_suite.jad"), SGHFS_FILE_OK);
  EXPECT_NE(put("evil.jad", "/java/x_suite.jad", false), SGHFS_FILE_OK);
  EXPECT_TRUE(listing("/java/").empty());  // links are not the phone's files
  std::string seen = "unset";
  compile([&](std::string& list) { seen = list; });
  EXPECT_EQ(seen, "");
  EXPECT_EQ(readFile(outside + "/secret.txt"), "keep");
  EXPECT_EQ(readFile(phone("javalist.txt")), "");  // the link itself was replaced
  PluginBinding::disconnect();

  // The Java folder itself a link: nothing is listed, written or rebuilt through it; nor is the log a link.
  fs::remove_all(phone("java"));
  ASSERT_EQ(::symlink(outside.c_str(), phone("java").c_str()), 0);
  fs::remove(phone("operations.log"));
  ASSERT_EQ(::symlink((outside + "/ops").c_str(), phone("operations.log").c_str()), 0);
  ASSERT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  EXPECT_TRUE(listing("/java/").empty());
  EXPECT_TRUE(listing("/").empty());
  EXPECT_NE(put("evil.jad", "/java/new_suite.jad"), SGHFS_FILE_OK);
  EXPECT_FALSE(exists(outside + "/new_suite.jad"));
  compile([&](std::string&) { ADD_FAILURE() << "rebuilt through a link"; });
  EXPECT_FALSE(exists(outside + "/ops"));
  EXPECT_EQ(readFile(outside + "/secret.txt"), "keep");
  PluginBinding::disconnect();

  // FIFOs in place of the settings and the log are not waited on.
  fs::remove(phone("phone.ini"));
  fs::remove(phone("operations.log"));
  ASSERT_EQ(::mkfifo(phone("phone.ini").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(phone("operations.log").c_str(), 0644), 0);
  EXPECT_EQ(connect(), PluginBinding::ConnectResult::Connected);
}
