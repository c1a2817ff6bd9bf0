// bench_http: how fast the main window's downloader fetches a 10 MB file over loopback, with its progress
// call per block of at most 1025 bytes, against `curl -o` from the same server in the same run; and how much
// of one core the main thread uses while it waits on a server that sends slowly.
//   bench_http [--fast-only|--slow-only] [URL of a 10 MB file]
//                  without a URL the program serves the file itself on 127.0.0.1; --fast-only leaves out the
//                  slow servers, --slow-only the download against curl; BENCH_RUNS=n sets the number of runs
//                  (5) and prints every run's pair of times
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "common/Prompter.h"
#include "net/Downloads.h"
#include "net/HttpGet.h"

namespace {

// How a slow answer of the benchmark's server is sent: after `silence`, `bytes` in pieces of `piece` bytes,
// `gap` apart.
struct Drip {
  const char* path;
  const char* words;
  std::chrono::milliseconds silence;
  std::size_t bytes;
  std::size_t piece;
  std::chrono::milliseconds gap;
};

constexpr Drip Drips[] = {
    {"/slow.bin", "a second of silence, then 200 KB in 1 KB pieces 10 ms apart", std::chrono::milliseconds(1000),
     200 * 1024, 1024, std::chrono::milliseconds(10)},
    {"/drip.bin", "2 MB in 16 KB pieces 20 ms apart (800 KB/s)", std::chrono::milliseconds(0), 2 * 1024 * 1024,
     16 * 1024, std::chrono::milliseconds(20)},
    {"/pause.bin", "1 MB at once, 2 s of silence, 1 MB at once", std::chrono::milliseconds(0), 2 * 1024 * 1024,
     1024 * 1024, std::chrono::milliseconds(2000)},
};

// Serves "/file.bin" at once, and each drip's path slowly.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::string body)
      : body_(std::move(body)), server_(8, [this](int c, const std::string& request) { answer(c, request); }) {}
  std::string url(const char* path) const { return server_.url(path); }

 private:
  void answer(int c, const std::string& request) const {
    for (const Drip& d : Drips) {
      if (request.compare(0, 4 + std::strlen(d.path) + 1, "GET " + std::string(d.path) + " ") != 0) continue;
      bench::sendAll(c, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(d.bytes) + "\r\n\r\n");
      std::this_thread::sleep_for(d.silence);
      for (std::size_t at = 0; at < d.bytes; at += d.piece) {
        if (at > 0) std::this_thread::sleep_for(d.gap);
        bench::sendAll(c, body_.data() + at, std::min(d.piece, d.bytes - at));
      }
      return;
    }
    bench::sendAll(c, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body_.size()) + "\r\n\r\n");
    bench::sendAll(c, body_);
  }
  const std::string body_;
  bench::LoopbackServer server_;  // last: it answers from the body above
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

double threadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool fast = args.empty() || args[0] != "--slow-only";
  const bool slow = args.empty() || args[0] != "--fast-only";
  if (!args.empty() && args[0].compare(0, 2, "--") == 0) args.erase(args.begin());
  const std::string dir = bench::scratchFolder("quorrel-bench-http");
  std::filesystem::current_path(dir);

  std::string body(10 * 1024 * 1024, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + i / 4096);
  LoopbackServer server(body);
  const std::string url = !args.empty() ? args[0] : server.url("/file.bin");

  bench::SilentPrompter prompter;
  MainWindow form(&prompter);
  HttpGet& get = form.downloads().http();
  get.options.useProxy = ProxyMode::Direct;
  int blocks = 0;
  const auto progress = get.handlers.progress;
  get.handlers.progress = [&](int total, int bytesRead) {
    ++blocks;
    progress(total, bytesRead);
  };

  const int runs = std::getenv("BENCH_RUNS") ? std::max(1, std::atoi(std::getenv("BENCH_RUNS"))) : 5;
  std::vector<double> ours, curl;
  for (int i = 0; fast && i < runs; ++i) {
    blocks = 0;
    HttpRequest request;
    request.url = url;
    request.fileName = dir + "ours.bin";
    auto t0 = std::chrono::steady_clock::now();
    get.start(request);
    ours.push_back(bench::seconds(t0));
    if (!std::filesystem::exists(dir + "ours.bin") || blocks == 0) {
      std::fprintf(stderr, "download through downloader failed\n");
      return 1;
    }
    const std::string command = "curl -s --noproxy '*' -o '" + dir + "curl.bin' '" + url + "'";
    t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "curl failed\n");
      return 1;
    }
    curl.push_back(bench::seconds(t0));
  }
  if (fast) {
    const auto size = std::filesystem::file_size(dir + "ours.bin");
    if (size != std::filesystem::file_size(dir + "curl.bin") ||
        readFile(dir + "ours.bin") != readFile(dir + "curl.bin")) {
      std::fprintf(stderr, "the two downloads differ\n");
      return 1;
    }
    if (std::getenv("BENCH_RUNS")) {
      for (size_t i = 0; i < ours.size(); ++i) std::printf("run %zu: %.3f s against %.3f s\n", i, ours[i], curl[i]);
    }
    std::printf("file: %s (%.1f MB), median of %d runs\n", url.c_str(), static_cast<double>(size) / 1048576.0, runs);
    std::printf("downloader with per-block progress: %.3f s (%d progress calls)\n", bench::median(ours), blocks);
    std::printf("curl -o:                             %.3f s\n", bench::median(curl));
    std::printf("ratio:                               %.2fx\n", bench::median(ours) / bench::median(curl));
  }

  // Slow servers: the main thread's own CPU time over the whole wait, the progress calls included.
  for (const Drip& d : Drips) {
    if (!slow) break;
    blocks = 0;
    HttpRequest slowRequest;
    slowRequest.url = server.url(d.path);
    slowRequest.fileName = dir + "slow.bin";
    const double cpu0 = threadCpu();
    const auto t0 = std::chrono::steady_clock::now();
    get.start(slowRequest);
    const double wall = bench::seconds(t0);
    const double cpu = threadCpu() - cpu0;
    if (std::filesystem::file_size(dir + "slow.bin") != d.bytes) {
      std::fprintf(stderr, "the slow download failed\n");
      return 1;
    }
    std::printf("slow server (%s): %.1f s waiting, %d progress calls, main thread CPU %.3f s = %.2f%% of one core\n",
                d.words, wall, blocks, cpu, 100.0 * cpu / wall);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
