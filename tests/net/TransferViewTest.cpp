// The downloads and the update as rooms of their own: what they report to the window's side, recorded by a
// small view instead of drawn by the main window, and the command state they keep. Against a real server on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "common/CommandState.h"
#include "common/MessageLog.h"
#include "net/CatalogueUpdate.h"
#include "net/Downloads.h"
#include "net/HttpGet.h"
#include "settings/Settings.h"
#include "support/HttpTestServer.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

using quorrel::CommandHold;
using quorrel::CommandScope;
using quorrel::CommandState;
using testsupport::HttpReply;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Writes down every report, one line each, with the command state as it stood then.
class RecordingView : public quorrel::UpdateView {
 public:
  explicit RecordingView(const CommandState& state) : state_(state) {}

  void showTransferProgress(int total, int done) override {
    note("progress " + std::to_string(done) + "/" + std::to_string(total));
  }
  void showTransferName(const QString& name) override { note("name " + name.toStdString()); }
  void resetProgress(bool fullRange) override { note(fullRange ? "reset 0..100" : "reset"); }
  void clearTransferLine() override { note("clear line"); }
  void clearPluginStatus() override { note("clear plugin status"); }
  void showScreenshot(const std::string& file) override { note("screenshot " + file); }
  void gameDownloaded() override { note("game downloaded"); }
  void screenshotDownloaded() override { note("screenshot downloaded"); }
  bool windowShown() const override { return shown ? shown() : false; }
  void catalogueArrived() override { note("catalogue arrived"); }

  std::vector<std::string> reports;
  std::vector<std::string> states;  // "busy", "locked", "update" marks at each report
  std::function<bool()> shown;

 private:
  void note(const std::string& report) {
    reports.push_back(report);
    states.push_back(std::string(state_.busy() ? "busy" : "-") + (state_.catalogueLocked() ? " locked" : " -") +
                     (state_.updateRunning() ? " update" : " -"));
  }
  const CommandState& state_;
};

class Lines : public quorrel::MessageLog {
 public:
  void addLine(const QString& line) override { lines.push_back(line.mid(line.indexOf(QLatin1Char(' ')))); }
  void insertLine(const QString& line) override { addLine(line); }
  std::vector<QString> lines;
};

class TransferViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.setUpdateServer(server.base());
    catalogue.setCurrentGameFile("ball");
    catalogue.setCurrentGameScreen("ball.gif");
    state.setObserver([this] { ++changes; });
  }

  testsupport::TempWorkDir dir;
  testsupport::HttpTestServer server;
  testsupport::ScriptedPrompter prompter;
  QObject owner;
  quorrel::Settings settings;
  quorrel::Catalogue catalogue;
  Lines log;
  CommandState state;
  int changes = 0;
  RecordingView view{state};
  quorrel::Downloads downloads{&owner, settings, catalogue, log, prompter, state, view};
};

}  // namespace

TEST(CommandStateTest, ScopesNestAndEndOnEveryPathAndAFailureGivesTheCommandsBackButNotTheUpdate) {
  CommandState state;
  std::vector<std::string> seen;
  const auto marks = [&] {
    return std::string(state.busy() ? "b" : "-") + (state.catalogueLocked() ? "c" : "-") +
           (state.updateRunning() ? "u" : "-");
  };
  state.setObserver([&] { seen.push_back(marks()); });
  {
    const CommandScope marked(state, CommandHold::Commands);
    EXPECT_EQ(marks(), "b--");
  }
  try {
    const CommandScope update(state, CommandHold::Update);
    state.releaseAfterFailure();
    {
      // The unpacking inside the update holds everything again, and gives back what the failure gave back.
      const CommandScope unpacking(state, CommandHold::CommandsAndCatalogue);
      EXPECT_EQ(marks(), "bcu");
    }
    throw std::runtime_error("the update failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(marks(), "---");
  EXPECT_EQ(seen, (std::vector<std::string>{"b--", "---", "bcu", "--u", "bcu", "--u", "---"}));
}

TEST_F(TransferViewTest, GameDownloadReportsItsProgressInOrderAndEndsIdle) {
  writeFile("Base/.keep", "");
  server.route("/Base/games/ball.jad", HttpReply::ok("jad"));
  server.route("/Base/games/ball.jad", HttpReply::ok("jad"));
  server.route("/Base/games/ball.jar", HttpReply::ok("jarfile"));
  server.route("/Base/games/ball.jar", HttpReply::ok("jarfile"));
  downloads.downloadGame();

  EXPECT_EQ(readFile("Base/games/ball.jad"), "jad");
  EXPECT_EQ(readFile("Base/games/ball.jar"), "jarfile");
  EXPECT_EQ(prompter.texts(), std::vector<QString>{QStringLiteral("Игра успешно скачана!")});
  // Each transfer names its file, then reports its bytes; the end empties the progress line.
  std::vector<std::string> order;
  for (const std::string& r : view.reports) {
    const std::string shown = r.rfind("progress", 0) == 0 ? "progress" : r;
    if (order.empty() || order.back() != shown) order.push_back(shown);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"name Base/games/ball.jad", "progress", "name Base/games/ball.jar",
                                             "progress", "game downloaded", "reset 0..100", "clear line"}));
  EXPECT_EQ(std::count(view.reports.begin(), view.reports.end(), "progress 7/7"), 1);
  // The transfers run with the catalogue locked; the end of the command gives everything back.
  EXPECT_EQ(view.states.front(), "busy locked -");
  EXPECT_EQ(view.states.back(), "- - -");
  EXPECT_EQ(changes, 2);
}

TEST_F(TransferViewTest, FailedTransferGivesTheWindowBackForTheRestOfItsCommand) {
  server.route("/Base/screen/ball.gif", HttpReply::status("HTTP/1.0 404 Not Found", "none"));
  server.route("/Base/screen/ball.gif", HttpReply::status("HTTP/1.0 404 Not Found", "none"));
  writeFile("Base/screen/.keep", "");
  downloads.downloadScreenshot();

  EXPECT_EQ(prompter.errors(),
            std::vector<QString>{QStringLiteral("Скриншот не скачан: не получен файл Base/screen/ball.gif.")});
  // The failure's reports come while the command still runs, with the other commands already given back.
  const std::vector<std::string> failure{"reset", "clear line", "clear plugin status"};
  const auto at = std::search(view.reports.begin(), view.reports.end(), failure.begin(), failure.end());
  ASSERT_NE(at, view.reports.end());
  EXPECT_EQ(view.states[at - view.reports.begin()], "busy locked -");
  EXPECT_EQ(view.states.at(at - view.reports.begin() + 3), "- - -");
  // Without a copy the picture's own error reports it, so the screenshot is still shown; the button stays.
  EXPECT_NE(std::find(view.reports.begin(), view.reports.end(), "screenshot " + dir.path() + "Base/screen/ball.gif"),
            view.reports.end());
  EXPECT_EQ(std::count(view.reports.begin(), view.reports.end(), "screenshot downloaded"), 0);
  EXPECT_EQ(view.reports.back(), "clear line");
  EXPECT_FALSE(state.busy() || state.catalogueLocked());
}

TEST_F(TransferViewTest, UpdateAsksTheWindowWhetherItWasClosedAndStopsQuietly) {
  writeFile("Javadata.xml", "old");
  server.route("/Javadata.zip", HttpReply::ok("PK not really"));
  server.route("/Javadata.zip", HttpReply::ok("PK not really"));
  quorrel::CatalogueUpdate update(&owner, downloads, catalogue, settings, prompter, log, state, view);
  // Shown when the update begins, closed while its archive arrives.
  bool shown = true;
  view.shown = [&] { return shown; };
  const auto progress = downloads.http().handlers.progress;
  downloads.http().handlers.progress = [&](int total, int done) {
    progress(total, done);
    shown = false;
  };
  update.updateCatalogue();

  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(readFile("Javadata.xml"), "old");
  EXPECT_EQ(server.requestLines().size(), 2u);  // the archive's size and the archive, nothing after it
  EXPECT_EQ(std::count(view.reports.begin(), view.reports.end(), "catalogue arrived"), 0);
  EXPECT_EQ(view.states.front(), "busy locked update");
  EXPECT_EQ(view.reports.back(), "clear line");
  EXPECT_FALSE(state.busy() || state.updateRunning());

  // A second update while one runs is refused even after a failure gave the other commands back.
  const CommandScope running(state, CommandHold::Update);
  state.releaseAfterFailure();
  update.updateCatalogue();
  EXPECT_EQ(server.requestLines().size(), 2u);
}
