// The plugin binding against odd test plugins loaded with dlopen: what is called, in which order, and what
// comes back.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "OddPluginControl.h"
#include "phone/PluginBinding.h"
#include "support/TempDir.h"

namespace {

const char* const Options = "PIMS=0,AutoBmpAni=1,AutoAniBmp=1,AutoMmfMel=1,AutoMelMmf=1,NewFMMode=1";

constexpr auto Connected = PluginBinding::ConnectResult::Connected;
constexpr auto Refused = PluginBinding::ConnectResult::Refused;

class Binding : public ::testing::Test {
 protected:
  void SetUp() override { PluginBinding::unload(); }
  void TearDown() override { PluginBinding::unload(); }

  PluginBinding::ConnectResult connect(std::uint8_t port = 3) {
    return PluginBinding::connect(
        port, 115200, [this](const std::string& t) { logs.push_back(t); },
        [this](const std::string& s, const std::string& t, int p) {
          progress.push_back(s + ">" + t + ":" + std::to_string(p));
        });
  }

  // Libraries are never loaded from inside the working folder, and the built ones lie below the build folder.
  testsupport::TempWorkDir work;
  std::vector<std::string> logs;
  std::vector<std::string> progress;
};

}  // namespace

TEST_F(Binding, MissingLibraryIsNotLoadedAndEveryCallFailsQuietly) {
  EXPECT_FALSE(PluginBinding::load("no-such-plugin.wfx"));
  EXPECT_FALSE(PluginBinding::isLoaded());
  EXPECT_EQ(PluginBinding::pluginVersion, "");

  std::string remote = "/java/a_suite.jad";
  EXPECT_EQ(PluginBinding::putFile("/tmp/a.jad", remote, true), SGHFS_FILE_NOTSUPPORTED);
  EXPECT_EQ(remote, "/java/a_suite.jad");
  const auto reply = PluginBinding::sendCommand("AT+CGMI");
  EXPECT_EQ(reply.status, "");
  EXPECT_EQ(reply.body, "");
  SghfsFindData d{};
  EXPECT_EQ(PluginBinding::findFirst("/java/", d), SGHFS_INVALID_HANDLE);
  EXPECT_FALSE(PluginBinding::findNext(1, d));
  EXPECT_FALSE(PluginBinding::compileJava(true, [](std::string&) {}));
  PluginBinding::disconnect();
  EXPECT_FALSE(PluginBinding::isConnected());
}

TEST_F(Binding, BareNameIsNeverLoadedFromTheCurrentDirectory) {
  testsupport::TempWorkDir dir;
  // A plugin that an update could have unpacked into the working folder.
  testsupport::writeFile("unpacked.wfx", testsupport::readFile(ODD_FULL));
  EXPECT_FALSE(PluginBinding::load("unpacked.wfx"));
  EXPECT_FALSE(PluginBinding::isLoaded());
  EXPECT_TRUE(PluginBinding::load("sghfs.wfx"));  // the one beside the executable
}

TEST_F(Binding, LibraryLackingACalledExportIsReleasedUntouchedAndTheLoadedOneStays) {
  OddPluginControl full(ODD_FULL);
  OddPluginControl lacking(ODD_NOSEND);
  ASSERT_TRUE(PluginBinding::load(full.path()));
  EXPECT_FALSE(PluginBinding::load(lacking.path()));
  EXPECT_EQ(lacking.trace(), "");  // not even FsInit
  EXPECT_TRUE(PluginBinding::isLoaded());
  full.clearTrace();
  PluginBinding::sendCommand("AT");
  EXPECT_EQ(full.trace(), "FsSendCommand AT\n");
}

TEST_F(Binding, LoadInitialisesThenConnectSetsUpAndConnects) {
  OddPluginControl odd(ODD_FULL);
  odd.set("version", "Odd 2.5");
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  EXPECT_EQ(PluginBinding::pluginVersion, "Odd 2.5");
  EXPECT_EQ(odd.trace(), "FsInit 0 callbacks\nFsVersion\n");
  EXPECT_FALSE(PluginBinding::isConnected());

  odd.clearTrace();
  EXPECT_EQ(connect(3), Connected);
  EXPECT_TRUE(PluginBinding::isConnected());
  EXPECT_EQ(odd.trace(), std::string("FsSetup 0 0 3 115200 ") + Options + "\nFsConnect\n");
}

TEST_F(Binding, ConnectResultCountsByItsLowestByteOnly) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("connect", "0x100");
  EXPECT_EQ(connect(), Refused);
  EXPECT_FALSE(PluginBinding::isConnected());
  odd.set("connect", "0x101");
  EXPECT_EQ(connect(), Connected);
  EXPECT_TRUE(PluginBinding::isConnected());
}

TEST_F(Binding, ReportsDuringTheFirstConnectAreDroppedAndLaterOnesArrive) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("log_on_connect", "hello");
  odd.set("progress_on_connect", "target");
  connect();
  EXPECT_TRUE(logs.empty());
  EXPECT_TRUE(progress.empty());
  connect();
  EXPECT_EQ(logs, std::vector<std::string>{"hello"});
  EXPECT_EQ(progress, std::vector<std::string>{"src>target:42"});
}

TEST_F(Binding, RequestsAreAnsweredYesWithTheTextLeftAsItWas) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("request_on_connect", "1");
  connect();
  EXPECT_TRUE(odd.called("request -1 kept\n"));
}

TEST_F(Binding, DisconnectClosesOnceAndUnloadDisconnectsOnlyWhenConnected) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  connect();
  odd.clearTrace();
  PluginBinding::disconnect();
  PluginBinding::disconnect();
  PluginBinding::unload();
  EXPECT_EQ(odd.trace(), "FsDisconnect \\\n");

  ASSERT_TRUE(PluginBinding::load(odd.path()));
  connect();
  odd.clearTrace();
  PluginBinding::unload();
  EXPECT_EQ(odd.trace(), "FsDisconnect \\\n");
  EXPECT_FALSE(PluginBinding::isLoaded());
  EXPECT_FALSE(PluginBinding::isConnected());
}

TEST(CommandReply, StatusIsTheLastLineAndBodyWhatCameBefore) {
  auto check = [](const std::string& reply, const std::string& status, const std::string& body) {
    const auto r = PluginBinding::splitReply(reply);
    EXPECT_EQ(r.status, status) << reply;
    EXPECT_EQ(r.body, body) << reply;
  };
  check("SAMSUNG\r\n\r\nOK\r\n", "OK", "SAMSUNG");
  check("SAMSUNG\r\n\r\nOK", "OK", "SAMSUNG");  // no break at the end
  check(" OK \r\n", "OK", "");                  // no line before the status
  check("  OK  ", "OK", "");                    // no break at all
  check("A\nB\rC\r\nERROR\n\n", "ERROR", "A\nB\rC");
  check("", "", "");
  check("\r\n\r\n", "", "");
}

TEST_F(Binding, ReplyWithoutLineBreakIsAllStatus) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("reply", "NO CARRIER");
  const auto r = PluginBinding::sendCommand("AT+CGMI");
  EXPECT_EQ(r.status, "NO CARRIER");
  EXPECT_EQ(r.body, "");
}

TEST_F(Binding, PutFilePassesFlagsAndHandsBackTheNameThePluginUsed) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  std::string remote = "/java/ball_suite.jad";
  EXPECT_EQ(PluginBinding::putFile("/games/ball.jad", remote, true), 0);
  EXPECT_EQ(remote, "/java/ball_suite.jad");
  EXPECT_TRUE(odd.called("FsPutFile /games/ball.jad /java/ball_suite.jad 1\n"));

  odd.set("remote", "/java/BALL~1.JAD");
  odd.set("put_result", "4");
  EXPECT_EQ(PluginBinding::putFile("/games/ball.jad", remote, false), 4);
  EXPECT_EQ(remote, "/java/BALL~1.JAD");
  EXPECT_TRUE(odd.called("FsPutFile /games/ball.jad /java/ball_suite.jad 0\n"));
}

TEST_F(Binding, TextsOfFullBuffersArriveWholeAndOversizedNamesAreNotPassed) {
  OddPluginControl odd(ODD_FULL);
  odd.set("version", "#65535:v");
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  EXPECT_EQ(PluginBinding::pluginVersion, std::string(65535, 'v'));

  odd.set("reply", "#65535:r");
  EXPECT_EQ(PluginBinding::sendCommand("AT").status, std::string(65535, 'r'));

  odd.set("remote", "#65535:n");
  std::string remote = "/java/x";
  PluginBinding::putFile("/x", remote, true);
  EXPECT_EQ(remote, std::string(65535, 'n'));

  odd.clearTrace();
  std::string tooLong(65536, 'n');
  EXPECT_EQ(PluginBinding::putFile("/x", tooLong, true), SGHFS_FILE_NOTSUPPORTED);
  EXPECT_EQ(odd.trace(), "");

  odd.set("list", "#65535:l");
  std::size_t seen = 0;
  PluginBinding::compileJava(true, [&](std::string& list) { seen = list.size(); });
  EXPECT_EQ(seen, 65535u);
  EXPECT_EQ(odd.lastSetList().size(), 65535u);
}

TEST_F(Binding, CompileHandsTheListToTheHandlerAndWritesItBack) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("list", "b\r\na\r\n");
  odd.clearTrace();
  std::string given;
  EXPECT_TRUE(PluginBinding::compileJava(true, [&](std::string& list) {
    given = list;
    list = "a\r\nb\r\n";
  }));
  EXPECT_EQ(given, "b\r\na\r\n");
  EXPECT_EQ(odd.trace(), "FsCompileJava 1 callback\nFsJavaGetList\nFsJavaSetList\n");
  EXPECT_EQ(odd.lastSetList(), "a\r\nb\r\n");

  // An unchanged list is written back all the same; without a handler the plugin gets no callback.
  odd.clearTrace();
  PluginBinding::compileJava(true, [](std::string&) {});
  EXPECT_EQ(odd.lastSetList(), "b\r\na\r\n");
  odd.clearTrace();
  EXPECT_TRUE(PluginBinding::compileJava(true, nullptr));
  EXPECT_EQ(odd.trace(), "FsCompileJava 1 null\n");
}

TEST_F(Binding, ListThatOutgrowsTheBufferOrWhoseHandlerFailsIsNotWrittenBack) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("list", "a\r\n");
  PluginBinding::compileJava(true, [](std::string& list) { list.assign(65536, 'x'); });
  EXPECT_FALSE(odd.called("FsJavaSetList"));

  // The handler's error does not pass through the plugin; it reaches the caller once the plugin returned.
  odd.clearTrace();
  EXPECT_THROW(PluginBinding::compileJava(true, [](std::string&) { throw std::runtime_error("boom"); }),
               std::runtime_error);
  EXPECT_EQ(odd.trace(), "FsCompileJava 1 callback\nFsJavaGetList\n");
}

TEST_F(Binding, PluginWithoutTheJavaListExportsIsLoadedAndCompilesNothing) {
  for (const char* path : {ODD_NOCOMPILE, ODD_NOJAVA}) {
    OddPluginControl odd(path);
    ASSERT_TRUE(PluginBinding::load(odd.path())) << path;
    EXPECT_EQ(connect(), Connected) << path;
    odd.clearTrace();
    bool handled = false;
    EXPECT_FALSE(PluginBinding::compileJava(true, [&](std::string&) { handled = true; }));
    EXPECT_FALSE(handled);
    EXPECT_EQ(odd.trace(), "") << path;
    PluginBinding::unload();
  }
}
