// Transfers that break: the server drops the connection at every stage of a size query and of a download,
// trickles its answer, names a file outside the working folder, and the disk fills up while a download writes. The
// window reports each failure in its log and keeps the copy of the file that was there before.
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <filesystem>

#include "DrillWindow.h"
#include "common/Paths.h"
#include "net/HttpGet.h"
#include "support/HttpTestServer.h"
#include "support/Widgets.h"

using drills::entriesOf;
using drills::okReply;
using quorrel::MsgButton;
using testsupport::readFile;
using testsupport::widget;
using testsupport::writeFile;

namespace {

const std::string GamePath = "Base/games/game.jar";
const std::string Previous = "the copy of the game downloaded last week";

// A body with every byte value, longer than one 1025-byte block of the download component.
std::string gameBody(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  return body;
}

class TransferDrill : public DrillWindow {
 protected:
  void SetUp() override {
    DrillWindow::SetUp();
    startWindow();
    form->settings().setUpdateServer(server.base());
  }

  // One download of the game over the existing copy; the changed size is confirmed.
  void download() {
    writeFile(GamePath, Previous);
    widget<QComboBox>(*form, "messageLog")->clear();
    prompter.clear();
    prompter.answers = {MsgButton::Yes};
    form->guarded([&] { form->downloads().downloadFromServer(GamePath); });
  }

  // After a failure: the tree usable again and the progress bar back at its start.
  void expectIdle() const {
    EXPECT_FALSE(form->commandState().busy());
    EXPECT_TRUE(widget<QTreeWidget>(*form, "catalogueTree")->isEnabled());
    EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->value(), 0);
  }

  drills::DroppingServer server;
};

}  // namespace

TEST_F(TransferDrill, ConnectionDroppedAtEveryStageKeepsThePreviousCopy) {
  const std::string body = gameBody(3000);
  const std::string reply = okReply(body);
  const std::size_t head = reply.size() - body.size();
  // Every byte of the status line and the headers, and the body at its start, at block edges and its end.
  std::vector<std::size_t> cuts;
  for (std::size_t at = 0; at <= head; ++at) cuts.push_back(at);
  for (std::size_t at : {std::size_t{1}, std::size_t{1024}, std::size_t{1025}, std::size_t{1026}, body.size() - 1})
    cuts.push_back(head + at);

  for (int connection : {0, 1}) {  // 0: the size query, 1: the download itself
    for (std::size_t cut : cuts) {
      SCOPED_TRACE("connection " + std::to_string(connection) + " cut after " + std::to_string(cut) + " bytes");
      server.setReply(reply, connection, cut);
      download();
      ASSERT_TRUE(prompter.errors().empty()) << prompter.errors().front().toStdString();
      EXPECT_EQ(entriesOf(folder + "Base/games"), std::vector<std::string>{"game.jar"});  // no partial file
      if (connection == 1) {
        EXPECT_EQ(readFile(GamePath), Previous);
        expectIdle();
        ASSERT_FALSE(log().empty());
        EXPECT_TRUE(log().front().startsWith(downloadFailed())) << log().front().toStdString();
      } else {
        // The size query failed (or had what it needed); the download that follows is whole.
        EXPECT_EQ(readFile(GamePath), body);
        EXPECT_TRUE(log().front().contains(QStringLiteral(" успешно скачан! (3000байт.)")));
        EXPECT_EQ(logHas(downloadFailed()), cut < head) << "a size query cut in its headers is logged";
      }
    }
  }
}

TEST_F(TransferDrill, DiskFullWhileDownloadingKeepsThePreviousCopy) {
  const std::string body = gameBody(120 * 1024);
  server.setReply(okReply(body), -1, 0);
  std::optional<drills::SmallDisk> disk;
  if (!drills::inChild()) {
    disk.emplace(folder + "disk", 256);
    if (!disk->mounted()) {
      // No tmpfs here: the same drill in a child process that may not write files above 64 KB.
      ASSERT_EQ(drills::runCurrentTestInChild({false, 64 * 1024}), 0);
      EXPECT_EQ(readFile(GamePath), Previous);
      return;
    }
    ASSERT_EQ(::chdir((folder + "disk").c_str()), 0);
    writeFile(GamePath, Previous);
    disk->fillLeaving("filler", 16 * 1024);
  }
  const std::string here = quorrel::currentDir();

  download();
  EXPECT_TRUE(log().front().startsWith(downloadFailed())) << log().front().toStdString();
  EXPECT_EQ(readFile(GamePath), Previous);
  EXPECT_EQ(entriesOf(here + "Base/games"), std::vector<std::string>{"game.jar"});
  expectIdle();

  if (disk) {
    // With room again the same window fetches the file.
    std::filesystem::remove("filler");
    download();
    EXPECT_EQ(readFile(GamePath), body);
    ASSERT_EQ(::chdir(folder.c_str()), 0);
  }
}

TEST_F(TransferDrill, ErrorAnswerWithAStatusLikeHeaderIsNeverSaved) {
  // An error answer whose headers hold a line that reads like a status line: the answer stays an error.
  server.setReply("HTTP/1.0 404 Not Found\r\nHTTP/ 200:\r\nContent-Length: 10\r\n\r\nerror page", -1, 0);
  download();
  EXPECT_EQ(readFile(GamePath), Previous);
  EXPECT_TRUE(log().front().startsWith(downloadFailed())) << log().front().toStdString();
  expectIdle();
}

TEST_F(TransferDrill, NamesThatLeaveTheWorkingFolderAreNeverAskedFor) {
  // Names as a catalogue or a "dir.lst" from the server may carry them; none may reach the server, since the
  // answer could only be written outside the working folder, or under a name that holds a control character.
  for (const std::string name :
       {"Base/games/../../x.jad", "Base\\games\\..\\..\\x.jad", "../x.jad", "Base/screen/../../../tmp/x.gif",
        "Base/games/..", "/x.jad", "Base/games/a\tb.jad", "Base/screen/x\r12:00:00 y.gif", "Base/games/\x1b[2J.jar"}) {
    SCOPED_TRACE(name);
    server.setReply(okReply("planted"), -1, 0);
    widget<QComboBox>(*form, "messageLog")->clear();
    form->guarded([&] { form->downloads().downloadFromServer(name); });
    EXPECT_TRUE(prompter.errors().empty());
    EXPECT_EQ(server.connections(), 0);
    ASSERT_FALSE(log().empty());
    EXPECT_TRUE(log().front().startsWith(downloadFailed())) << log().front().toStdString();
    EXPECT_FALSE(logHas(QStringLiteral("Проверяю размер файла")));
    expectIdle();
  }
  EXPECT_FALSE(std::filesystem::exists(folder + "../x.jad"));
}

TEST_F(TransferDrill, TricklingServerFailsTheDownloadAndKeepsThePreviousCopy) {
  const std::string body = gameBody(4000);
  testsupport::HttpTestServer slow;
  testsupport::HttpReply drip = testsupport::HttpReply::ok(body);  // 4 bytes a second
  drip.chunk = 2;
  drip.chunkDelayMs = 500;
  testsupport::HttpReply dripHead = drip;
  dripHead.chunkHead = true;
  // The size query is answered at once; the transfer itself trickles, in its body or already in its head.
  slow.route("/Base/games/game.jar", testsupport::HttpReply::ok(body));
  slow.route("/Base/games/game.jar", drip);
  slow.route("/Base/games/game.jar", testsupport::HttpReply::ok(body));
  slow.route("/Base/games/game.jar", dripHead);
  form->settings().setUpdateServer(slow.base());
  form->downloads().http().options.lowSpeedTime = 1;  // a second below the low rate instead of a minute

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "body trickles" : "head trickles");
    download();
    ASSERT_TRUE(prompter.errors().empty());
    EXPECT_EQ(readFile(GamePath), Previous);
    EXPECT_EQ(entriesOf(folder + "Base/games"), std::vector<std::string>{"game.jar"});
    ASSERT_FALSE(log().empty());
    EXPECT_TRUE(log().front().startsWith(downloadFailed())) << log().front().toStdString();
    expectIdle();
  }
  EXPECT_EQ(slow.requests().size(), 4u);
}
