// Closing the window while an update fetches many small files from a loopback server, at many moments: the
// program, run in a process of its own through its real entry, ends within a second every time, and the
// catalogue is whole (the old one or the new one), with nothing of the update left lying about.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "DrillSupport.h"
#include "ZipArchives.h"
#include "app/MainWindow.h"
#include "net/CatalogueUpdate.h"
#include "support/HttpTestServer.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

using testsupport::HttpReply;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr const char* CloseAfterVariable = "QUORREL_DRILL_CLOSE_AFTER_MS";
constexpr int Games = 40;

const std::string OldCatalogue = "<model name=\"Old\" disp=\"128\" desc=\"\" vers=\"1\" pic=\"\">\r\n<end>\r\n";

std::string newCatalogue() {
  std::string xml = "<model name=\"New\" disp=\"128\" desc=\"\" vers=\"2\" pic=\"\">\r\n<folder name=\"F\" pic=\"f\">\r\n";
  for (int i = 0; i < Games; ++i) {
    const std::string n = "g" + std::to_string(i);
    xml += "<game name=\"" + n + "\">\r\n<file=\"" + n + "\">\r\n<screen=\"" + n + ".gif\">\r\n";
  }
  return xml + "</folder>\r\n<end>\r\n";
}

std::int64_t monotonicNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The child: the program's entry on the prepared folder; it starts the update as soon as its loop runs and
// closes the window, as its close button does, after the given time. It notes when it closed.
void runTheProgram() {
  const int closeAfter = std::atoi(std::getenv(CloseAfterVariable));
  // Named in full: the unpacking works in a folder of its own meanwhile.
  const std::string mark = std::filesystem::current_path().string() + "/closed.at";
  testsupport::ScriptedPrompter prompter;
  runProgram(&prompter, [&](MainWindow& form) {
    QTimer::singleShot(closeAfter, &form, [&form, mark] {
      std::ofstream(mark) << monotonicNs();
      form.close();
    });
    QTimer::singleShot(0, &form, [&form] { form.guarded([&form] { form.catalogueUpdate().updateCatalogue(); }); });
  });
}

// Runs this test in a child process; returns its exit status and the time from its close to its end, or
// kills it (-1) when it has not ended 10 s after it was started.
int runChild(std::int64_t& closeToEndNs) {
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return -2;
  exe[n] = '\0';
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -2;
  if (pid == 0) {
    ::setenv("QUORREL_DRILL_CHILD", "1", 1);
    char* const argv[] = {exe, const_cast<char*>(filter.c_str()), nullptr};
    ::execv(exe, argv);
    ::_exit(92);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const std::int64_t ended = monotonicNs();
  std::int64_t closedAt = 0;
  std::ifstream("closed.at") >> closedAt;
  closeToEndNs = closedAt > 0 ? ended - closedAt : -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> leftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.find(".part") != std::string::npos || name.rfind("Javadata.", 0) == 0) found.push_back(name);
  }
  return found;
}

}  // namespace

TEST(CloseDrill, ClosingTheWindowAtAnyMomentOfAnUpdateEndsTheProgramWithTheCatalogueWhole) {
  if (drills::inChild()) {
    runTheProgram();
    return;
  }
  testsupport::HttpTestServer server;
  const std::string xml = newCatalogue();
  server.route("/Javadata.zip", HttpReply::ok(ziptest::rawZip({ziptest::plain("Javadata.xml", xml)})));
  server.route("/Base/news.new", HttpReply::ok("news"));
  for (int i = 0; i < Games; ++i) {
    const std::string n = "g" + std::to_string(i);
    server.route("/Base/screen/" + n + ".gif", HttpReply::ok("GIF89a " + n));
    server.route("/Base/games/" + n + ".jad", HttpReply::ok("jad " + n));
    server.route("/Base/games/" + n + ".jar", HttpReply::ok(std::string(3000, 'j') + n));
  }
  std::int64_t longest = 0;
  for (int moment = 0; moment < 20; ++moment) {
    // From before the first request to well into the games, a few milliseconds apart.
    const int closeAfter = moment * moment * 2;
    SCOPED_TRACE("closed after " + std::to_string(closeAfter) + " ms");
    testsupport::TempWorkDir dir;
    writeFile("Javadata.xml", OldCatalogue);
    writeFile("Quorrel.ini", "[Update Server]\r\n" + server.base() +
                                 "\r\n3\r\n0\r\n\r\n[Proxy Settings]\r\n0\r\n\r\n\r\n\r\n\r\n\r\n[Connection]\r\nCOM1\r\n"
                                 "115200\r\n1\r\n\r\n[Interface]\r\n0\r\n");
    const std::size_t before = server.requests().size();
    ::setenv(CloseAfterVariable, std::to_string(closeAfter).c_str(), 1);
    std::int64_t closeToEnd = -1;
    const int status = runChild(closeToEnd);
    ::unsetenv(CloseAfterVariable);
    ASSERT_EQ(status, 0) << "the program did not end (-1: still running 10 s after its start)";
    ASSERT_GE(closeToEnd, 0) << "the window was never closed";
    longest = std::max(longest, closeToEnd);
    const std::string catalogue = readFile("Javadata.xml");
    EXPECT_TRUE(catalogue == OldCatalogue || catalogue == xml) << "the catalogue is not whole";
    std::filesystem::remove("closed.at");
    std::filesystem::remove("Quorrel.ini");
    std::vector<std::string> left = leftovers(dir.path());
    left.erase(std::remove(left.begin(), left.end(), "Javadata.xml"), left.end());
    EXPECT_TRUE(left.empty()) << left.front();
    std::printf("[ closed after %3d ms: %4zu requests, the program ended %3lld ms after the close ]\n", closeAfter,
                server.requests().size() - before, static_cast<long long>(closeToEnd / 1000000));
  }
  // How soon it ends is a figure for the README, not a test: a loaded machine would make it flaky.
  std::printf("[ longest time from the close to the end: %lld ms ]\n", static_cast<long long>(longest / 1000000));
}
