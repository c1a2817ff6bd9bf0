// bench_http: how fast the main window's downloader fetches a 10 MB file over loopback, with its progress
// call per block of at most 1025 bytes, against `curl -o` from the same server in the same run; and how much
// of one core the main thread uses while it waits on a server that sends slowly.
//   bench_http [URL of a 10 MB file]   without a URL the program serves the file itself on 127.0.0.1;
//                                      BENCH_RUNS=1 prints every run's pair of times
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "common/Prompter.h"
#include "net/Downloads.h"
#include "net/HttpGet.h"

namespace {

// Serves "/file.bin" at once, and "/slow.bin" after a second of silence in 1 KB pieces 10 ms apart.
class LoopbackServer {
 public:
  LoopbackServer(std::string body, std::string slowBody)
      : body_(std::move(body)),
        slowBody_(std::move(slowBody)),
        server_(8, [this](int c, const std::string& request) { answer(c, request); }) {}
  std::string url(const char* path) const { return server_.url(path); }

 private:
  void answer(int c, const std::string& request) const {
    const bool slow = request.compare(0, 14, "GET /slow.bin ") == 0;
    const std::string& body = slow ? slowBody_ : body_;
    bench::sendAll(c, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
    if (!slow) {
      bench::sendAll(c, body);
      return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    for (size_t at = 0; at < body.size(); at += 1024) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      bench::sendAll(c, body.data() + at, std::min<size_t>(1024, body.size() - at));
    }
  }
  const std::string body_;
  const std::string slowBody_;
  bench::LoopbackServer server_;  // last: it answers from the bodies above
};

double threadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const std::string dir = bench::scratchFolder("quorrel-bench-http");
  std::filesystem::current_path(dir);

  std::string body(10 * 1024 * 1024, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + i / 4096);
  LoopbackServer server(body, body.substr(0, 200 * 1024));
  const std::string url = argc > 1 ? argv[1] : server.url("/file.bin");

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

  const int runs = 5;
  std::vector<double> ours, curl;
  for (int i = 0; i < runs; ++i) {
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
  const auto size = std::filesystem::file_size(dir + "ours.bin");
  if (size != std::filesystem::file_size(dir + "curl.bin")) {
    std::fprintf(stderr, "the two downloads differ in size\n");
    return 1;
  }
  if (std::getenv("BENCH_RUNS")) {
    for (size_t i = 0; i < ours.size(); ++i) std::printf("run %zu: %.3f s against %.3f s\n", i, ours[i], curl[i]);
  }
  std::printf("file: %s (%.1f MB), median of %d runs\n", url.c_str(), static_cast<double>(size) / 1048576.0, runs);
  std::printf("downloader with per-block progress: %.3f s (%d progress calls)\n", bench::median(ours), blocks);
  std::printf("curl -o:                             %.3f s\n", bench::median(curl));
  std::printf("ratio:                               %.2fx\n", bench::median(ours) / bench::median(curl));

  // A slow server: a second of silence, then 200 KB in 1 KB pieces 10 ms apart.
  HttpRequest slow;
  slow.url = server.url("/slow.bin");
  slow.fileName = dir + "slow.bin";
  const double cpu0 = threadCpu();
  const auto t0 = std::chrono::steady_clock::now();
  get.start(slow);
  const double wall = bench::seconds(t0);
  const double cpu = threadCpu() - cpu0;
  std::printf("slow server: %.1f s waiting, main thread CPU %.3f s = %.2f%% of one core\n", wall, cpu,
              100.0 * cpu / wall);
  std::filesystem::remove_all(dir);
  return 0;
}
