// Batch upload of 100 marked games to the virtual phone (transfer speed unlimited) through the real main
// window, against `cp` of the same 200 files into a folder, in the same run. Prints the medians of several
// rounds in milliseconds and the median of the per-round ratios:
// "upload <ms> cp <ms> ratio <upload/cp> upload+compile <ms>".
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "common/Prompter.h"
#include "settings/Settings.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int Games = 100;
constexpr std::size_t GameBytes = 200 * 1024;
constexpr int Rounds = 21;

double timeCp(const fs::path& games, const fs::path& target) {
  std::vector<std::string> args{"cp"};
  for (int i = 1; i <= Games; ++i) {
    args.push_back((games / (bench::gameFile(i) + ".jad")).string());
    args.push_back((games / (bench::gameFile(i) + ".jar")).string());
  }
  args.push_back(target.string());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) std::exit(1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double ms = bench::msSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
  return ms;
}

double timeUpload(MainWindow& form, bool compile) {
  form.settings().setAutoCompileJava(compile);
  const auto start = std::chrono::steady_clock::now();
  form.phone().uploadMarkedGames();
  return bench::msSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  char tmpl[] = "/tmp/quorrel-bench-upload-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const fs::path work = tmpl;
  const fs::path phone = work / "phones/COM1";
  fs::create_directories(phone / "java");
  std::ofstream(phone / "phone.ini", std::ios::binary) << "Manufacturer=SAMSUNG\r\nModel=SGH-X100\r\nSerial=1\r\n";
  ::setenv("SGHFS_PHONES", (work / "phones").c_str(), 1);
  fs::current_path(work);
  bench::writeGames(work / "Base/games", Games, GameBytes);

  std::vector<double> upload;
  std::vector<double> cp;
  std::vector<double> withCompile;
  std::vector<double> ratio;  // per round: the two runs of a round share the machine's load of the moment
  {
    bench::SilentPrompter prompter;
    auto form = createApplicationWindows(&prompter);
    if (!std::getenv("BENCH_HIDDEN")) form->show();
    form->settings().setComPort("COM1");
    form->settings().setComSpeed(115200);
    for (int i = 1; i <= Games; ++i) {
      quorrel::GameEntry game;
      game.file = bench::gameFile(i);
      game.selected = 1;
      form->catalogue().setGame(i, game);
    }
    form->catalogue().setGameCount(Games);
    form->phone().connectPhone();
    int serial = 0;
    for (int round = 0; round < Rounds; ++round) {
      bench::freshJavaFolder(phone, serial);
      form->clearLog();
      upload.push_back(timeUpload(*form, false));
      // Beside the phone's Java folder, so both copies meet the same state of the file system.
      const fs::path cpTarget = phone / ("cp-" + std::to_string(round));
      fs::create_directories(cpTarget);
      cp.push_back(timeCp(work / "Base/games", cpTarget));
      ratio.push_back(upload.back() / cp.back());
      bench::freshJavaFolder(phone, serial);
      form->clearLog();
      withCompile.push_back(timeUpload(*form, true));
      QApplication::processEvents();
    }
    if (fs::file_size(phone / "java" / (bench::gameFile(Games) + "_suite.jar")) + 100 < GameBytes - 100) return 1;
  }
  fs::current_path("/");
  fs::remove_all(work);
  std::printf("upload %.1f cp %.1f ratio %.2f upload+compile %.1f\n", bench::median(upload), bench::median(cp),
              bench::median(ratio), bench::median(withCompile));
  return 0;
}
