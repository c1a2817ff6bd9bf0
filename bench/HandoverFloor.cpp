// bench_handover: what the download's pattern costs without the application around it. A minimal libcurl
// client fetches a URL into a file in blocks of at most 1025 bytes and hands each block to a second thread,
// waiting until that thread has run a (trivial) progress call for it, against the same client without the
// hand-over; the hand-over once by spinning with sched_yield, once by sleeping on a condition variable and
// once by spinning without any system call. Prints medians of 5.
//   bench_handover URL
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class HandOver { None, YieldSpin, Sleep, PureSpin };

struct Run {
  HandOver how = HandOver::None;
  int fd = -1;
  std::atomic<unsigned long> posted{0};
  std::atomic<unsigned long> handled{0};
  std::atomic<bool> quit{false};
  std::mutex lock;
  std::condition_variable changed;
  unsigned long calls = 0;

  void relax() const {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_ia32_pause();
#endif
  }
  // The downloading thread: hands the block just written over and waits for its progress call.
  void handOver() {
    const unsigned long block = ++posted;
    if (how == HandOver::Sleep) {
      changed.notify_all();
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return handled.load() >= block; });
      return;
    }
    while (handled.load(std::memory_order_acquire) < block) {
      if (how == HandOver::YieldSpin) {
        std::this_thread::yield();
      } else {
        relax();
      }
    }
  }
  // The other thread: runs a progress call for each block handed over.
  void progressSide() {
    unsigned long seen = 0;
    while (!quit) {
      if (how == HandOver::Sleep) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return posted.load() != seen || quit; });
        if (quit) break;
      } else if (posted.load(std::memory_order_acquire) == seen) {
        if (how == HandOver::YieldSpin) {
          std::this_thread::yield();
        } else {
          relax();
        }
        continue;
      }
      seen = posted.load();
      ++calls;
      {
        const std::lock_guard<std::mutex> guard(lock);
        handled.store(seen, std::memory_order_release);
      }
      if (how == HandOver::Sleep) changed.notify_all();
    }
  }
  static std::size_t body(char* data, std::size_t size, std::size_t count, void* self) {
    auto& r = *static_cast<Run*>(self);
    const std::size_t total = size * count;
    for (std::size_t at = 0; at < total; at += 1025) {
      const std::size_t n = std::min<std::size_t>(1025, total - at);
      if (::write(r.fd, data + at, n) != static_cast<ssize_t>(n)) return 0;
      if (r.how != HandOver::None) r.handOver();
    }
    return total;
  }
};

double fetchOnce(const std::string& url, const std::string& file, HandOver how) {
  Run r;
  r.how = how;
  std::thread side([&r] { r.progressSide(); });
  const auto t0 = std::chrono::steady_clock::now();
  r.fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 16384L);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Run::body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &r);
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  ::close(r.fd);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  {
    // Under the lock, so that a progress side about to sleep sees it.
    const std::lock_guard<std::mutex> guard(r.lock);
    r.quit = true;
  }
  r.changed.notify_all();
  side.join();
  return result == CURLE_OK ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_handover URL\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const char* tmp = std::getenv("TMPDIR");
  const std::string file = std::string(tmp && *tmp ? tmp : "/dev/shm") + "/quorrel-bench-handover.bin";
  const struct {
    HandOver how;
    const char* words;
  } cases[] = {{HandOver::None, "no hand-over (1025-byte writes only):"},
               {HandOver::YieldSpin, "hand-over per block, spinning with sched_yield:"},
               {HandOver::Sleep, "hand-over per block, sleeping (condition variable):"},
               {HandOver::PureSpin, "hand-over per block, spinning without system calls:"}};
  for (const auto& c : cases) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
      const double s = fetchOnce(argv[1], file, c.how);
      if (s < 0) {
        std::fprintf(stderr, "the transfer failed\n");
        return 1;
      }
      times.push_back(s);
    }
    std::sort(times.begin(), times.end());
    std::printf("minimal client, %-52s %.3f s\n", c.words, times[2]);
  }
  ::unlink(file.c_str());
  return 0;
}
