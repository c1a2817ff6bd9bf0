// Unpacking an archive of 500 members, 50 MB in all, through the zip component and the unzip library,
// against Info-ZIP's "unzip -o -q" of the same archive in the same run. Prints the medians and their ratio.
//   bench_zip [runs]
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "net/ZipExtractor.h"

namespace fs = std::filesystem;

namespace {

constexpr int Members = 500;
constexpr long long TotalBytes = 50LL * 1024 * 1024;

class NoPrompts : public quorrel::Prompter {
 public:
  quorrel::MsgButton ask(const quorrel::MessageRequest&) override { return quorrel::MsgButton::Cancel; }
  bool inputText(const QString&, const QString&, QString&) override { return false; }
};

// Members that compress about as well as game files and catalogue text do: words mixed with noise.
void writeMembers(const fs::path& root) {
  std::mt19937 rng(7);
  const std::vector<std::string> words = {"MIDlet", "Name",  "Vendor", "game", "jar",  "class", "Samsung",
                                          "<game",  "size=", "desc=",  "\r\n", "ball", "level", "score"};
  const auto size = static_cast<size_t>(TotalBytes / Members);
  for (int i = 0; i < Members; ++i) {
    const fs::path folder = root / ("folder" + std::to_string(i % 10));
    fs::create_directories(folder);
    std::string data;
    data.reserve(size + 16);
    while (data.size() < size) {
      if (rng() % 4 == 0) {
        for (int k = 0; k < 8; ++k) data += static_cast<char>(rng() & 0xFF);
      } else {
        data += words[rng() % words.size()];
        data += ' ';
      }
    }
    data.resize(size);
    std::ofstream(folder / ("member" + std::to_string(i) + ".bin"), std::ios::binary).write(data.data(), data.size());
  }
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  const fs::path work = fs::temp_directory_path() / ("quorrel-bench-zip-" + std::to_string(::getpid()));
  fs::create_directories(work / "src");
  writeMembers(work / "src");
  const fs::path archive = work / "bench.zip";
  if (std::system(("cd '" + (work / "src").string() + "' && zip -q -r '" + archive.string() + "' .").c_str()) != 0) {
    std::fprintf(stderr, "zip failed\n");
    return 1;
  }
  fs::remove_all(work / "src");
  std::printf("archive: %d members, %lld bytes unpacked, %lld bytes packed\n", Members, TotalBytes,
              static_cast<long long>(fs::file_size(archive)));

  NoPrompts prompter;
  std::vector<double> ours;
  std::vector<double> infoZip;
  // One unmeasured round first, so both start with the archive in the page cache.
  for (int r = -1; r < runs; ++r) {
    const fs::path outOurs = work / "ours";
    const fs::path outUnzip = work / "unzip";
    fs::create_directories(outOurs);
    fs::create_directories(outUnzip);

    auto start = std::chrono::steady_clock::now();
    ZipExtractor zip(nullptr, &prompter);
    zip.ShowProgressDialog = false;
    zip.setZipFileName(archive.string());
    zip.ExtractDir = outOurs.string();
    zip.ExtractOptions = ZipExtractor::ExtractOption0;
    const int written = zip.Extract();
    const double tOurs = seconds(std::chrono::steady_clock::now() - start);
    fs::current_path(work);

    start = std::chrono::steady_clock::now();
    const int rc = std::system(("unzip -o -q '" + archive.string() + "' -d '" + outUnzip.string() + "'").c_str());
    const double tUnzip = seconds(std::chrono::steady_clock::now() - start);

    if (written != Members || rc != 0) {
      std::fprintf(stderr, "extraction failed: %d members written, unzip exit %d\n", written, rc);
      return 1;
    }
    if (r >= 0) {
      ours.push_back(tOurs);
      infoZip.push_back(tUnzip);
    }
    fs::remove_all(outOurs);
    fs::remove_all(outUnzip);
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(work);

  const double a = bench::median(ours);
  const double b = bench::median(infoZip);
  std::printf("ZipExtractor + UnZDll.dll: %.3f s (median of %d)\n", a, runs);
  std::printf("unzip -o -q:       %.3f s (median of %d)\n", b, runs);
  std::printf("ratio: %.2fx (goal: at most 1.2x)\n", a / b);
  return 0;
}
