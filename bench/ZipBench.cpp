// Unpacking an archive of 500 members, 50 MB in all, through the zip component and the unzip library,
// against Info-ZIP's "unzip -o -q" of the same archive in the same run. Prints the medians and their ratio.
//   bench_zip [runs]
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

void putU32(std::string& bytes, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A bomb: 200 MB of zeros whose headers claim 1 KB, so that only the count of bytes written can stop it.
// Prints how long the unpacking ran, what it wrote and the longest gap between two turns of the event loop
// (a zero-interval timer runs at every turn), which is how long the window could not paint.
int bombRound(const fs::path& work, quorrel::Prompter& prompter) {
  const fs::path out = work / "bomb-out";
  fs::create_directories(out);
  if (std::system(
          ("cd '" + work.string() + "' && truncate -s 200M zeros && zip -q bomb.zip zeros && rm zeros").c_str()) != 0)
    return 1;
  std::string bytes;
  {
    std::ifstream in(work / "bomb.zip", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  putU32(bytes, 22, 1024);
  putU32(bytes, bytes.find(std::string("PK\x01\x02", 4)) + 24, 1024);
  std::ofstream(work / "bomb.zip", std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());

  auto last = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration longest{};
  QTimer turn;
  QObject::connect(&turn, &QTimer::timeout, [&] {
    const auto now = std::chrono::steady_clock::now();
    longest = std::max(longest, now - last);
    last = now;
  });
  turn.start(0);
  long long written = 0;
  ZipExtractor zip(nullptr, &prompter);
  zip.showProgressDialog = false;
  zip.handlers.progress = [&](const std::string&, std::int32_t n, std::int32_t) { written += n; };
  zip.setZipFileName((work / "bomb.zip").string());
  zip.extractDir = out.string();
  const auto start = std::chrono::steady_clock::now();
  last = start;
  std::string error;
  try {
    zip.extract();
  } catch (const std::exception& e) {
    error = e.what();
  }
  const double took = seconds(std::chrono::steady_clock::now() - start);
  turn.stop();
  fs::current_path(work);
  std::printf(
      "bomb of %lld bytes: stopped after %.3f s and %lld bytes reported (%s); longest gap between event-loop "
      "turns %.1f ms; left in the destination: %zu entries\n",
      static_cast<long long>(bytes.size()), took, written, error.empty() ? "no error" : "error",
      std::chrono::duration<double, std::milli>(longest).count(),
      static_cast<size_t>(std::distance(fs::directory_iterator(out), fs::directory_iterator())));
  return error.empty() ? 1 : 0;
}

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
    zip.showProgressDialog = false;
    zip.setZipFileName(archive.string());
    zip.extractDir = outOurs.string();
    zip.extractOptions = ZipExtractor::UpdateOlder;
    const int written = zip.extract();
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
  const int bomb = bombRound(work, prompter);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(work);
  if (bomb != 0) return 1;

  const double a = bench::median(ours);
  const double b = bench::median(infoZip);
  std::printf("ZipExtractor + UnZDll.dll: %.3f s (median of %d)\n", a, runs);
  std::printf("unzip -o -q:       %.3f s (median of %d)\n", b, runs);
  std::printf("ratio: %.2fx (goal: at most 1.2x)\n", a / b);
  return 0;
}
