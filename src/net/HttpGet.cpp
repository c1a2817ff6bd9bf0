#include "net/HttpGet.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <pthread.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "common/Errors.h"
#include "common/FileIO.h"

namespace {

// Exit code of the wait loop when the transfer it waits for has ended; any other code means that the
// application asked every event loop to end.
constexpr int TransferEnded = 0x48545450;

// The body is read in blocks of this size at most; each block is written before the next is read.
constexpr std::size_t BlockSize = 1025;

// How long one side of the progress hand-off looks for the other before it sleeps, in nanoseconds.
constexpr std::int64_t MinSpinNs = 500;
constexpr std::int64_t MaxSpinNs = 50000;
// The same for the waiting main thread before its event loop sleeps: long enough to catch the end of a short
// request to a server nearby, short enough not to take the core from the transfer thread and the server
// while they still work (a request on loopback takes 150 to 300 us of their time).
constexpr std::int64_t MaxWaitSpinNs = 100000;

// The main thread runs handed-over progress calls for at most this long before it lets the window's own
// events in again.
constexpr auto DrainSlice = std::chrono::milliseconds(10);

inline void cpuRelax() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __builtin_ia32_pause();
#elif defined(__GNUC__) && defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Looks at `ready` for a while before the caller sleeps. The time adapts: it doubles when looking paid
// off and shrinks by an eighth when it did not, so a side that keeps waiting in vain (a slow server, one core
// for both threads) soon stops burning time on it. Every 32nd look takes the full time, so that a transfer
// that speeds up again is noticed.
template <class Budget, class Ready>
bool spinFor(Budget& budget, Ready ready, std::int64_t maxNs = MaxSpinNs) {
  const std::int64_t limit = (++budget.looks % 32 == 0) ? maxNs : std::min(budget.ns, maxNs);
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (ready()) {
      budget.ns = std::min(std::max(budget.ns, limit) * 2, maxNs);
      return true;
    }
    if (std::chrono::steady_clock::now() - start >= std::chrono::nanoseconds(limit)) break;
    for (int i = 0; i < 8; ++i) cpuRelax();
    // Lets the other side run when both share a core.
    std::this_thread::yield();
  }
  budget.ns = std::max(budget.ns - budget.ns / 8, MinSpinNs);
  return false;
}

// Where a URL points: "host:port" for the connection and the escaped path of the request, or why it points
// nowhere.
struct Target {
  bool secure = false;  // https://
  std::string hostPort;
  std::string path;
  bool ok = false;
  std::string fault;
};

bool isHostNameChar(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; }
bool isAddress6Char(unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; }

bool parsePort(const std::string& text, unsigned& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  port = value;
  return value >= 1 && value <= 65535;
}

// Characters a request path may carry as they stand; every other byte is sent %-escaped. "%" is kept so
// that an address that is already escaped reaches the server unchanged.
bool keptInPath(unsigned char c) { return std::isalnum(c) || std::strchr("-._~!$&'()*+,;=:@/?%", c) != nullptr; }

// "http://" (any case) is optional, "https://" asks for TLS; the host is the text before the first "/", the
// path the rest. A port written after the host is used (80, or 443 over TLS, without one). Backslashes in the
// path are folder separators.
Target splitUrl(std::string url) {
  Target t;
  const auto refuse = [&t](const char* why) {
    t.fault = why;
    return t;
  };
  if (url.size() >= 7 && strncasecmp(url.c_str(), "http://", 7) == 0) {
    url.erase(0, 7);
  } else if (url.size() >= 8 && strncasecmp(url.c_str(), "https://", 8) == 0) {
    url.erase(0, 8);
    t.secure = true;
  } else {
    const auto scheme = url.find("://");
    if (scheme != std::string::npos && scheme < url.find('/'))
      return refuse("в адресе другая схема, чем http:// или https:// (другие Quorrel не понимает)");
  }
  const auto slash = url.find('/');
  if (slash == std::string::npos) return refuse("после имени сервера нет \"/\"");
  const std::string host = url.substr(0, slash);
  if (host.find('@') != std::string::npos)
    return refuse("в адресе есть имя пользователя или пароль (\"@\"), а их серверу не передают");

  std::string name = host;
  std::string portText;
  bool hasPort = false;
  if (!host.empty() && host[0] == '[') {
    const auto close = host.find(']');
    if (close == std::string::npos) return refuse("адрес IPv6 без \"]\"");
    name = host.substr(0, close + 1);
    const std::string rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return refuse("после адреса IPv6 лишние знаки");
      portText = rest.substr(1);
      hasPort = true;
    }
    if (name.size() < 3) return refuse("в адресе нет имени сервера");
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
      if (!isAddress6Char(static_cast<unsigned char>(name[i]))) return refuse("в адресе IPv6 недопустимые знаки");
    }
  } else {
    const auto colon = host.find(':');
    if (colon != std::string::npos) {
      name = host.substr(0, colon);
      portText = host.substr(colon + 1);
      hasPort = true;
    }
    if (name.empty()) return refuse("в адресе нет имени сервера");
    for (const char c : name) {
      if (!isHostNameChar(static_cast<unsigned char>(c))) return refuse("в имени сервера недопустимые знаки");
    }
  }
  unsigned port = t.secure ? 443 : 80;
  if (hasPort && !parsePort(portText, port)) return refuse("порт сервера не число от 1 до 65535");
  t.hostPort = name + ":" + std::to_string(port);

  static const char hex[] = "0123456789ABCDEF";
  for (std::size_t i = slash; i < url.size(); ++i) {
    auto c = static_cast<unsigned char>(url[i]);
    if (c == '\\') c = '/';
    if (keptInPath(c)) {
      t.path += static_cast<char>(c);
    } else {
      t.path += '%';
      t.path += hex[c >> 4];
      t.path += hex[c & 15];
    }
  }
  t.ok = true;
  return t;
}

// A Content-Length value: decimal digits that fit a 32-bit signed length.
bool parseLength(std::string text, std::int32_t& value) {
  while (!text.empty() && std::strchr(" \t\r\n", text.back())) text.pop_back();
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > INT32_MAX) return false;
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

// The codings of a Transfer-Encoding header that are not "chunked", in lower case ("" when none): libcurl
// undoes chunked itself; any other coding was never offered by the request.
std::string unofferedCodings(const std::string& value) {
  std::string others;
  std::size_t start = 0;
  while (start <= value.size()) {
    const auto end = std::min(value.find(',', start), value.size());
    std::string token = value.substr(start, end - start);
    while (!token.empty() && std::strchr(" \t\r\n", token.back())) token.pop_back();
    std::size_t lead = 0;
    while (lead < token.size() && (token[lead] == ' ' || token[lead] == '\t')) ++lead;
    token.erase(0, lead);
    for (char& c : token) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!token.empty() && token != "chunked") others += (others.empty() ? "" : ", ") + token.substr(0, 40);
    start = end + 1;
  }
  return others;
}

// Words for a libcurl failure that no check of our own explains.
std::string curlFailure(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return "имя сервера не найдено";
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "имя прокси-сервера не найдено";
    case CURLE_COULDNT_CONNECT:
      return "сервер не принимает соединение";
    case CURLE_OPERATION_TIMEDOUT:
      return "сервер слишком долго ничего не передаёт";
    case CURLE_GOT_NOTHING:
      return "сервер закрыл соединение, ничего не ответив";
    case CURLE_PEER_FAILED_VERIFICATION:
      return "сертификат сервера не прошёл проверку: он выдан не этому имени, просрочен или подписан тем, кому "
             "система не доверяет";
    case CURLE_SSL_CONNECT_ERROR:
      return "защищённое соединение (TLS) с сервером не установлено";
    case CURLE_SSL_CACERT_BADFILE:
      return "не читается файл сертификатов, которым проверяют сервер";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
      return "соединение оборвалось";
    default:
      return std::string("ошибка HTTP: ") + curl_easy_strerror(code);
  }
}

std::string megabytes(std::int64_t bytes) {
  return std::to_string(bytes) + " байт (" + std::to_string((bytes + 512 * 1024) / (1024 * 1024)) + " МБ)";
}

}  // namespace

std::string HttpGet::addressFault(const std::string& url) {
  const Target t = splitUrl(url);
  return t.ok ? std::string() : t.fault;
}

namespace {

// A download keeps at least this part of the disk's free space, up to DownloadSpareMax, for everything else:
// the unpacking of an archive keeps a margin alike.
constexpr std::int64_t DownloadSpareMax = 32 * 1024 * 1024;
constexpr std::int64_t DownloadSpareShare = 8;  // an eighth

// Bytes a download may write into the folder of `file`; INT64_MAX when the disk cannot be asked.
std::int64_t roomFor(const std::string& file) {
  const auto slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : file.substr(0, slash + 1);
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return INT64_MAX;
  const unsigned long long bytes = static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
  const std::int64_t free =
      bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(bytes);
  return free - std::min(free / DownloadSpareShare, DownloadSpareMax);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// State of one transfer inside the worker.
struct HttpGetWorker::Transfer {
  HttpGetWorker* worker = nullptr;
  int status = 0;
  bool statusNext = true;  // the next header line is a response's status line
  bool haveLength = false;
  std::string lengthText;
  bool sizeAnswered = false;  // a size query ended on purpose once the headers were in
  bool writeFailed = false;
  std::string statusLine;
  std::string transferEncoding;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::int64_t received = 0;  // bytes of heads and body so far
  int fd = -1;  // the temporary file beside the target, open while the body arrives
  std::string tempName;
};

// ---------------------------------------------------------------------------------------------------------
// The system thread that runs one component's transfers, one after another, with one libcurl handle that is
// reset between them. Each transfer is still a worker object of its own, made for it, run once and freed after
// it, so nothing of one transfer's state reaches the next; only the thread and the handle stay. That spares
// every request the start and end of a thread and the making of a handle with its wake-up sockets and caches
// (together about as much time as libcurl's whole request on loopback). A component runs one transfer at a
// time, so one thread per component never makes a transfer wait for another. No connection stays between
// transfers: each one opens its own and closes it at its end.
class HttpGetRunner {
 public:
  static std::shared_ptr<HttpGetRunner> make() {
    std::shared_ptr<HttpGetRunner> runner(new HttpGetRunner);
    // The thread keeps the runner alive as long as it runs, also after its component has gone.
    runner->thread_ = std::thread([self = runner] { self->loop(); });
    return runner;
  }
  HttpGetRunner(const HttpGetRunner&) = delete;
  HttpGetRunner& operator=(const HttpGetRunner&) = delete;

  // Main thread: the worker's transfer starts on the runner's thread.
  void run(HttpGetWorker* worker) {
    {
      const std::lock_guard<std::mutex> lock(lock_);
      next_ = worker;
    }
    wake_.notify_one();
  }
  // Main thread, once the component goes: the thread ends after the transfer it runs, if any. An idle thread
  // is joined at once (it has at most the tail of a finished transfer to run); one that still runs a transfer
  // is left to end it on its own, as the main thread may be inside one of its progress calls.
  void retire(bool running) {
    {
      const std::lock_guard<std::mutex> lock(lock_);
      retired_ = true;
    }
    wake_.notify_one();
    if (running) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

  // Calls handed to the main thread (progress drains and transfer ends), and those it has run. Kept here
  // rather than in a worker, which may be freed as soon as its end has been handed over.
  std::atomic<unsigned> handedOver{0};
  unsigned handedTaken = 0;  // main thread only

  // The connection's socket while it is open, and the worker whose transfer runs, so that an interruption can
  // shut the socket down at once instead of waiting for libcurl's next look at the cancel flag. Kept here
  // because the handle, and with it the socket callbacks' data, outlives each transfer.
  std::mutex socketLock;
  int socket = -1;
  const HttpGetWorker* transfer = nullptr;

 private:
  HttpGetRunner() = default;

  void loop() {
    pthread_setname_np(pthread_self(), "HttpGetThread");
    CURL* curl = curl_easy_init();
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
      wake_.wait(lock, [this] { return next_ != nullptr || retired_; });
      if (!next_) break;
      HttpGetWorker* const worker = next_;
      next_ = nullptr;
      lock.unlock();
      if (!curl) curl = curl_easy_init();
      worker->run(curl);
      lock.lock();
    }
    lock.unlock();
    if (curl) curl_easy_cleanup(curl);
  }

  std::mutex lock_;
  std::condition_variable wake_;
  HttpGetWorker* next_ = nullptr;
  bool retired_ = false;
  std::thread thread_;
};

HttpGetWorker::HttpGetWorker(const HttpGet& source, const HttpRequest& request, bool sizeOnly,
                             std::shared_ptr<HttpGetRunner> runner)
    : options_(source.options),
      request_(request),
      sizeOnly_(sizeOnly),
      progress_(source.handlers.progress),
      runner_(std::move(runner)) {}

void HttpGetWorker::fail(Transfer& /*t*/, std::string why, bool refusal) {
  if (!failure.empty()) return;
  failure = std::move(why);
  refused = refusal;
}

void HttpGetWorker::run(void* curl) {
  {
    const std::lock_guard<std::mutex> lock(runner_->socketLock);
    runner_->transfer = this;
  }
  execute(curl);
  {
    const std::lock_guard<std::mutex> lock(runner_->socketLock);
    runner_->transfer = nullptr;
  }
  // The end goes to the main thread, which frees the worker there; the worker of a component that is gone
  // frees itself. The runner outlives this call (its thread holds it), the worker may not.
  HttpGetRunner& runner = *runner_;
  QMetaObject::invokeMethod(
      this,
      [this] {
        ++runner_->handedTaken;
        if (owner) {
          owner->workerEnded(this);
        } else {
          deleteLater();
        }
      },
      Qt::QueuedConnection);
  ++runner.handedOver;
}

std::size_t HttpGetWorker::headerCallback(char* data, std::size_t size, std::size_t count, void* transfer) {
  auto& t = *static_cast<Transfer*>(transfer);
  const std::size_t total = size * count;
  t.received += static_cast<std::int64_t>(total);
  const std::string line(data, total);
  if (t.statusNext) {
    // A new response begins (an interim 1xx one may come first). Only its first line is its status: a line
    // that looks like a status line among the headers must not turn an error answer into a good one.
    t.statusNext = false;
    t.status = 0;
    t.haveLength = false;
    t.transferEncoding.clear();
    t.statusLine = line.substr(0, std::min<std::size_t>(line.find_first_of("\r\n"), 100));
    const auto blank = line.find(' ');
    if (line.compare(0, 5, "HTTP/") == 0 && blank != std::string::npos) t.status = std::atoi(line.c_str() + blank + 1);
    return total;
  }
  if (line == "\r\n" || line == "\n") {
    if (t.status >= 100 && t.status < 200) {
      t.statusNext = true;
      return total;
    }
    return t.worker->headersEnded(t) ? total : 0;
  }
  if (!t.haveLength && line.size() > 15 && strncasecmp(line.c_str(), "Content-Length:", 15) == 0) {
    t.haveLength = true;
    t.lengthText = line.substr(15);
  }
  if (line.size() > 18 && strncasecmp(line.c_str(), "Transfer-Encoding:", 18) == 0) {
    t.transferEncoding += (t.transferEncoding.empty() ? "" : ",") + line.substr(18);
  }
  return total;
}

bool HttpGetWorker::headersEnded(Transfer& t) {
  if (isInterruptionRequested()) return false;
  // Only a 2xx answer is the resource; an error page is never taken for it.
  if (t.status < 200 || t.status > 299) {
    fail(t, "сервер ответил «" + t.statusLine + "»");
    return false;
  }
  if (!t.haveLength) {
    if (options_.binaryData || sizeOnly_) {
      fail(t, "в ответе сервера нет длины (Content-Length)");
      return false;
    }
  } else if (!parseLength(t.lengthText, contentLength)) {
    fail(t, "длина в ответе сервера (Content-Length) не число");
    return false;
  }
  if (sizeOnly_) {
    succeeded = true;
    t.sizeAnswered = true;
    return false;  // the body is not read
  }
  // The bytes are saved as the server sent them. A coding of the transfer that the request never offered
  // (gzip, deflate, ...) would have to be undone without any bound on what it inflates to: such an answer is
  // refused rather than saved in its coded form under the file's name.
  const std::string codings = unofferedCodings(t.transferEncoding);
  if (!codings.empty()) {
    fail(t, "сервер применил к ответу кодирование «" + codings + "», которого запрос не предлагал", true);
    return false;
  }
  if (options_.maxBodySize > 0 && contentLength > options_.maxBodySize) {
    fail(t,
         "объявлено " + megabytes(contentLength) + ", больше предела " + megabytes(options_.maxBodySize) +
             " для этого файла",
         true);
    return false;
  }
  const std::int64_t room = roomFor(request_.fileName);
  if (contentLength > room) {
    fail(t,
         "объявлено " + megabytes(contentLength) + ", а на диске для загрузки есть " +
             megabytes(std::max<std::int64_t>(room, 0)),
         true);
    return false;
  }
  // The body goes into a new file beside the target, which replaces the target only once it is complete.
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = request_.fileName + ".part" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      t.fd = fd;
      t.tempName = std::move(name);
      return true;
    }
    if (errno != EEXIST) break;
  }
  fail(t, "не могу создать файл: " + quorrel::ioErrorText(errno));
  return false;
}

std::size_t HttpGetWorker::bodyCallback(char* data, std::size_t size, std::size_t count, void* transfer) {
  auto& t = *static_cast<Transfer*>(transfer);
  const std::size_t total = size * count;
  t.received += static_cast<std::int64_t>(total);
  if (t.fd < 0) return 0;
  for (std::size_t offset = 0; offset < total; offset += BlockSize) {
    const std::size_t n = std::min(BlockSize, total - offset);
    if (!t.worker->takeBlock(t, data + offset, n)) return 0;
  }
  return total;
}

bool HttpGetWorker::takeBlock(Transfer& t, const char* data, std::size_t size) {
  if (isInterruptionRequested()) return false;
  // A body never runs past the length its answer announced (a chunked one could go on for ever); without a
  // length only an empty body is complete, so the first byte already ends it.
  if (static_cast<long long>(bytesRead) + static_cast<long long>(size) > contentLength) {
    fail(t, "сервер прислал больше объявленных " + std::to_string(contentLength) + " байт", t.haveLength);
    t.writeFailed = true;
    return false;
  }
  if (!quorrel::writeAll(t.fd, data, size)) {
    fail(t, "не могу записать файл: " + quorrel::ioErrorText(errno));
    t.writeFailed = true;
    return false;
  }
  blockRead = static_cast<std::uint32_t>(size);
  bytesRead += static_cast<std::int32_t>(size);
  if (progress_) reportBlock();
  return true;
}

void HttpGetWorker::interrupt() {
  interrupted_.store(true, std::memory_order_release);
  {
    // Wakes a transfer that waits on its socket; libcurl then ends it as failed.
    const std::lock_guard<std::mutex> lock(runner_->socketLock);
    if (runner_->transfer == this && runner_->socket >= 0) ::shutdown(runner_->socket, SHUT_RDWR);
  }
  {
    const std::lock_guard<std::mutex> lock(handOff_);
    stopped_ = true;
  }
  blockHandled_.notify_all();
}

void HttpGetWorker::queueDrain() {
  QMetaObject::invokeMethod(
      this, [this] { drainProgress(); }, Qt::QueuedConnection);
  ++runner_->handedOver;
}

void HttpGetWorker::reportBlock() {
  const std::uint64_t block = blocksPosted_.load(std::memory_order_relaxed) + 1;
  // Published before the look at drainQueued_, and the main thread clears drainQueued_ before its last look
  // at the count: one of the two sides always sees the other, so no block is left without a drain.
  blocksPosted_.store(block);
  if (!drainQueued_.exchange(true)) queueDrain();
  // An interruption ends the wait, but never while the main thread is inside the call: the worker must not
  // end, and be freed, under a running progress call.
  const auto done = [&] { return blocksHandled_.load(std::memory_order_acquire) >= block || (stopped_ && !inCall_); };
  if (spinFor(workerSpin_, done)) return;
  std::unique_lock<std::mutex> lock(handOff_);
  blockHandled_.wait(lock, done);
}

void HttpGetWorker::drainProgress() {
  ++runner_->handedTaken;
  const auto sliceEnd = std::chrono::steady_clock::now() + DrainSlice;
  for (;;) {
    const std::uint64_t block = blocksPosted_.load(std::memory_order_acquire);
    if (block == blocksHandled_.load(std::memory_order_relaxed)) break;
    // A destroyed or cancelled component hears nothing more.
    if (!stopped_) {
      inCall_ = true;
      try {
        progress_(contentLength, bytesRead);
      } catch (...) {
        if (!progressFailure) progressFailure = std::current_exception();
        interrupt();
      }
    }
    {
      const std::lock_guard<std::mutex> lock(handOff_);
      inCall_ = false;
      blocksHandled_.store(block, std::memory_order_release);
    }
    blockHandled_.notify_one();
    if (std::chrono::steady_clock::now() >= sliceEnd ||
        !spinFor(mainSpin_, [&] { return blocksPosted_.load(std::memory_order_acquire) > block; })) {
      break;
    }
  }
  drainQueued_.store(false);
  if (blocksPosted_.load() > blocksHandled_.load(std::memory_order_relaxed) && !drainQueued_.exchange(true)) {
    queueDrain();
  }
}

static_assert(std::is_same_v<curl_off_t, std::int64_t>, "libcurl's sizes are 64-bit");

int HttpGetWorker::progressCallback(void* transfer, std::int64_t, std::int64_t, std::int64_t, std::int64_t) {
  auto& t = *static_cast<Transfer*>(transfer);
  HttpGetWorker& w = *t.worker;
  if (w.isInterruptionRequested()) return 1;
  if (w.options_.minAverageRate == 0) return 0;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t.start).count();
  const double owed = (seconds - w.options_.rateGraceTime) * w.options_.minAverageRate;
  if (static_cast<double>(t.received) >= owed) return 0;
  w.fail(t, "сервер передаёт слишком медленно: " + std::to_string(t.received) + " байт за " +
                std::to_string(static_cast<long long>(seconds)) + " с, меньше " +
                std::to_string(w.options_.minAverageRate) + " байт в секунду");
  return 1;
}

int HttpGetWorker::openSocket(void* runner, int /*purpose*/, void* address) {
  auto& r = *static_cast<HttpGetRunner*>(runner);
  const auto* a = static_cast<const curl_sockaddr*>(address);
  const int fd = ::socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
  if (fd < 0) return CURL_SOCKET_BAD;
  const std::lock_guard<std::mutex> lock(r.socketLock);
  // An interruption that came before the socket: the connection ends at once.
  if (!r.transfer || r.transfer->isInterruptionRequested()) ::shutdown(fd, SHUT_RDWR);
  r.socket = fd;
  return fd;
}

int HttpGetWorker::closeSocket(void* runner, int fd) {
  auto& r = *static_cast<HttpGetRunner*>(runner);
  const std::lock_guard<std::mutex> lock(r.socketLock);
  if (r.socket == fd) r.socket = -1;
  return ::close(fd);
}

void HttpGetWorker::execute(void* handle) {
  succeeded = false;
  const Target target = splitUrl(request_.url);
  if (isInterruptionRequested()) return;
  if (!target.ok) {
    failure = "адрес не понят: " + target.fault;
    return;
  }

  CURL* const curl = static_cast<CURL*>(handle);
  if (!curl) return;
  Transfer t;
  t.worker = this;
  const std::string url = (target.secure ? "https://" : "http://") + target.hostPort + target.path;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  if (target.secure) {
    // The server's certificate is checked, always, against the system's store; SSL_CERT_FILE names another
    // bundle, as it does for the system's TLS library (libcurl itself would not look at it).
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle && *bundle)
      curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
  }
  // The path goes out as it was given: "/./" and "/../" are the server's to resolve, not ours to fold into
  // a request for another file.
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, target.secure ? "https" : "http");
  // No coding is offered, and none is undone: the bytes are saved as they were sent. (libcurl undoes chunked
  // apart from these; a transfer coding is refused when the head is read.)
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, static_cast<const char*>(nullptr));
  curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  // The handle serves one transfer after another, but each is on its own as with a handle of its own: a
  // connection of its own, closed at its end whatever the server offers; no TLS session taken over from an
  // earlier one; the server's name looked up again.
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
  curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
  // libcurl receives into a buffer of its own; the body is taken from it in blocks of BlockSize at most.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 16384L);
  if (!options_.agent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, options_.agent.c_str());

  curl_slist* headers = nullptr;
  const std::string accept = "Accept: " + options_.acceptTypes;
  headers = curl_slist_append(headers, options_.acceptTypes.empty() ? "Accept:" : accept.c_str());
  if (!options_.useCache) headers = curl_slist_append(headers, "Pragma: no-cache");
  if (!request_.referer.empty()) curl_easy_setopt(curl, CURLOPT_REFERER, request_.referer.c_str());
  if (!request_.postQuery.empty()) {
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request_.postQuery.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request_.postQuery.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

  // Proxies: the system's settings are libcurl's proxy environment variables; the user name and password
  // belong to the proxy and are never handed to the server.
  std::string proxy;
  bool mayUseProxy = true;
  switch (options_.useProxy) {
    case ProxyMode::Preconfig:
      break;
    case ProxyMode::Direct:
      mayUseProxy = false;
      break;
    case ProxyMode::Proxy:
      if (options_.proxyHost.empty()) {
        mayUseProxy = false;
      } else {
        proxy = options_.proxyHost + ":" + std::to_string(options_.proxyPort == 0 ? 80u : options_.proxyPort);
      }
      break;
  }
  if (!mayUseProxy) {
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
  } else {
    if (!proxy.empty()) {
      curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
      // The proxy the user chose serves every host: no_proxy in the environment does not send requests
      // around it.
      curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    }
    if (!options_.userName.empty()) {
      curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, options_.userName.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, options_.password.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
  }

  // No time limit for a transfer, but a server that sends nothing, or only a trickle, for a minute has
  // stalled: give up on it, so that the user gets an error instead of a command that never ends.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT,
                   static_cast<long>(std::max<std::uint32_t>(options_.lowSpeedLimit, 1)));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max<std::uint32_t>(options_.lowSpeedTime, 1)));

  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpGetWorker::headerCallback);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpGetWorker::bodyCallback);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpGetWorker::progressCallback);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &HttpGetWorker::openSocket);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, runner_.get());
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &HttpGetWorker::closeSocket);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, runner_.get());

  const CURLcode result = curl_easy_perform(curl);
  // Everything set for this transfer goes before the header list and the strings it points to do.
  curl_easy_reset(curl);
  curl_slist_free_all(headers);

  if (t.sizeAnswered) return;
  bool ok =
      result == CURLE_OK && t.fd >= 0 && !t.writeFailed && bytesRead == contentLength && !isInterruptionRequested();
  if (t.fd >= 0 && ::close(t.fd) != 0) {
    if (ok) fail(t, "не могу записать файл: " + quorrel::ioErrorText(errno));
    ok = false;
  }
  if (ok && ::rename(t.tempName.c_str(), request_.fileName.c_str()) != 0) {
    fail(t, "не могу записать файл: " + quorrel::ioErrorText(errno));
    ok = false;
  }
  if (!ok && !t.tempName.empty()) ::unlink(t.tempName.c_str());
  if (!ok) {
    if (isInterruptionRequested()) {
      fail(t, "передача прервана");
    } else if (result != CURLE_OK) {
      fail(t, curlFailure(result));
    } else {
      fail(t, "получено " + std::to_string(bytesRead) + " байт из " + std::to_string(contentLength));
    }
  }
  succeeded = ok;
}

// ---------------------------------------------------------------------------------------------------------
HttpGet::HttpGet(QObject* owner) : QObject(owner) {
  static std::once_flag curlReady;
  std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpGet::~HttpGet() {
  HttpGetWorker* worker = activeWorker_;
  if (worker) {
    cancel();
    activeWorker_ = nullptr;
    // The worker ends on its own and then frees itself; its completion no longer reaches this component.
    worker->owner = nullptr;
  }
  if (runner_) runner_->retire(worker != nullptr);
}

void HttpGet::start(const HttpRequest& request) {
  if (activeWorker_) return;
  request_ = request;
  startWorker(false);
  if (options.waitThread) waitForWorker();
}

int HttpGet::remoteSize(const std::string& url) {
  if (activeWorker_) return -1;
  request_ = HttpRequest{url, std::string(), std::string(), std::string()};
  startWorker(true);
  waitForWorker();
  return lastSucceeded_ ? lastSize_ : -1;
}

void HttpGet::cancel() {
  if (!activeWorker_) return;
  activeWorker_->interrupt();
  activeWorker_->succeeded = false;
}

void HttpGet::startWorker(bool sizeOnly) {
  if (!runner_) runner_ = HttpGetRunner::make();
  auto* worker = new HttpGetWorker(*this, request_, sizeOnly, runner_);
  activeWorker_ = worker;
  // Attached before the start, so that a transfer that ends at once still completes.
  worker->owner = this;
  runner_->run(worker);
}

void HttpGet::waitForWorker() {
  // Sleeps until an event arrives; the window's events, the worker's progress calls and its completion are
  // handled meanwhile.
  QEventLoop loop;
  QEventLoop* const outer = waitLoop_;
  waitLoop_ = &loop;
  // Before the loop sleeps it looks briefly for the worker's next call: a short request then ends without
  // the cost of waking a sleeping thread.
  QMetaObject::Connection look;
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
    look = connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { lookForWorker(); }, Qt::DirectConnection);
  }
  std::exception_ptr failure;
  try {
    while (activeWorker_) {
      if (loop.exec() == TransferEnded) continue;
      // The application is closing: stop the transfer and let it end.
      cancel();
      while (activeWorker_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  } catch (...) {
    // Something else run by the loop threw: the transfer ends first, then the exception goes on.
    failure = std::current_exception();
    cancel();
    while (activeWorker_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  disconnect(look);
  waitLoop_ = outer;
  if (!failure) failure = handlerFailure_;
  handlerFailure_ = nullptr;
  if (failure) std::rethrow_exception(failure);
}

void HttpGet::lookForWorker() {
  if (!activeWorker_) return;
  HttpGetRunner& runner = *runner_;
  const unsigned handed = runner.handedOver;
  // A call handed over and not yet run is waiting in the queue: nothing to look for.
  if (handed != runner.handedTaken) return;
  spinFor(
      waitSpin_, [&] { return runner.handedOver != handed; }, MaxWaitSpinNs);
}

void HttpGet::workerEnded(HttpGetWorker* worker) {
  if (worker != activeWorker_) return;
  std::exception_ptr failure;
  try {
    workerFinished(worker);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!failure) failure = worker->progressFailure;
  // The transfer is over whatever its handlers did.
  activeWorker_ = nullptr;
  delete worker;
  if (waitLoop_) {
    if (failure && !handlerFailure_) handlerFailure_ = failure;
    waitLoop_->exit(TransferEnded);
  } else if (failure) {
    // Nobody waits for this transfer: the exception goes to whoever runs the event loop.
    std::rethrow_exception(failure);
  }
}

void HttpGet::workerFinished(HttpGetWorker* worker) {
  lastSucceeded_ = worker->succeeded && !worker->isInterruptionRequested();
  lastFailure_ = lastSucceeded_ ? std::string() : worker->failure;
  lastRefused_ = !lastSucceeded_ && worker->refused;
  if (!lastSucceeded_ && lastFailure_.empty()) lastFailure_ = "передача прервана";
  if (lastSucceeded_) {
    if (worker->sizeOnly()) {
      lastSize_ = worker->contentLength;
    } else if (handlers.done) {
      handlers.done(worker->fileName(), worker->contentLength);
    }
  } else if (handlers.failed) {
    handlers.failed();
  }
}
