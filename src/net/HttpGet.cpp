#include "net/HttpGet.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <thread>

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
// The same for the waiting main thread before its event loop sleeps: long enough to cover a request to a
// server nearby.
constexpr std::int64_t MaxWaitSpinNs = 400000;

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

// Where a URL points: "host:port" for the connection and the escaped path of the request.
struct Target {
  std::string hostPort;
  std::string path;
  bool ok = false;
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

// "http://" (any case) is optional; the host is the text before the first "/", the path the rest. A port
// written after the host is used. Backslashes in the path are folder separators.
Target splitUrl(std::string url) {
  Target t;
  if (url.size() >= 7 && strncasecmp(url.c_str(), "http://", 7) == 0) url.erase(0, 7);
  const auto slash = url.find('/');
  if (slash == std::string::npos) return t;
  const std::string host = url.substr(0, slash);

  std::string name = host;
  std::string portText;
  bool hasPort = false;
  if (!host.empty() && host[0] == '[') {
    const auto close = host.find(']');
    if (close == std::string::npos) return t;
    name = host.substr(0, close + 1);
    const std::string rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return t;
      portText = rest.substr(1);
      hasPort = true;
    }
    if (name.size() < 3) return t;
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
      if (!isAddress6Char(static_cast<unsigned char>(name[i]))) return t;
    }
  } else {
    const auto colon = host.find(':');
    if (colon != std::string::npos) {
      name = host.substr(0, colon);
      portText = host.substr(colon + 1);
      hasPort = true;
    }
    if (name.empty()) return t;
    for (const char c : name) {
      if (!isHostNameChar(static_cast<unsigned char>(c))) return t;
    }
  }
  unsigned port = 80;
  if (hasPort && !parsePort(portText, port)) return t;
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

// Lets Cancel stop a transfer that waits on a silent server.
int checkCancel(void* worker, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<QThread*>(worker)->isInterruptionRequested() ? 1 : 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// State of one transfer inside the worker.
struct HttpGetThread::Transfer {
  HttpGetThread* worker = nullptr;
  int status = 0;
  bool statusNext = true;  // the next header line is a response's status line
  bool haveLength = false;
  std::string lengthText;
  bool sizeAnswered = false;  // a size query ended on purpose once the headers were in
  bool writeFailed = false;
  int fd = -1;  // the temporary file beside the target, open while the body arrives
  std::string tempName;
};

HttpGetThread::HttpGetThread(const HttpGet& source, bool sizeOnly)
    : AcceptTypes(source.AcceptTypes),
      Agent(source.Agent),
      URL(source.URL),
      FileName(source.FileName),
      UserName(source.UserName),
      Password(source.Password),
      PostQuery(source.PostQuery),
      Referer(source.Referer),
      BinaryData(source.BinaryData),
      UseCache(source.UseCache),
      SizeOnly(sizeOnly),
      UseProxy(source.UseProxy),
      ProxyHost(source.ProxyHost),
      ProxyPort(source.ProxyPort),
      LowSpeedLimit(source.LowSpeedLimit),
      LowSpeedTime(source.LowSpeedTime),
      OnProgress(source.OnProgress) {}

void HttpGetThread::run() {
  Execute();
  // The end is announced from here rather than by QThread::finished, so that a main thread that is looking
  // for it sees it at once. The worker is freed only after this thread has ended.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (owner) owner->workerEnded(this);
      },
      Qt::QueuedConnection);
  ++handedOver;
}

std::size_t HttpGetThread::headerCallback(char* data, std::size_t size, std::size_t count, void* transfer) {
  auto& t = *static_cast<Transfer*>(transfer);
  const std::size_t total = size * count;
  const std::string line(data, total);
  if (t.statusNext) {
    // A new response begins (an interim 1xx one may come first). Only its first line is its status: a line
    // that looks like a status line among the headers must not turn an error answer into a good one.
    t.statusNext = false;
    t.status = 0;
    t.haveLength = false;
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
  return total;
}

bool HttpGetThread::headersEnded(Transfer& t) {
  if (isInterruptionRequested()) return false;
  // Only a 2xx answer is the resource; an error page is never taken for it.
  if (t.status < 200 || t.status > 299) return false;
  if (!t.haveLength) {
    if (BinaryData || SizeOnly) return false;
  } else if (!parseLength(t.lengthText, ContentLength)) {
    return false;
  }
  if (SizeOnly) {
    Succeeded = true;
    t.sizeAnswered = true;
    return false;  // the body is not read
  }
  // The body goes into a new file beside the target, which replaces the target only once it is complete.
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = FileName + ".part" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      t.fd = fd;
      t.tempName = std::move(name);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

std::size_t HttpGetThread::bodyCallback(char* data, std::size_t size, std::size_t count, void* transfer) {
  auto& t = *static_cast<Transfer*>(transfer);
  const std::size_t total = size * count;
  if (t.fd < 0) return 0;
  for (std::size_t offset = 0; offset < total; offset += BlockSize) {
    const std::size_t n = std::min(BlockSize, total - offset);
    if (!t.worker->takeBlock(t, data + offset, n)) return 0;
  }
  return total;
}

bool HttpGetThread::takeBlock(Transfer& t, const char* data, std::size_t size) {
  if (isInterruptionRequested()) return false;
  if (static_cast<long long>(BytesRead) + static_cast<long long>(size) > INT32_MAX ||
      !quorrel::writeAll(t.fd, data, size)) {
    t.writeFailed = true;
    return false;
  }
  BlockRead = static_cast<std::uint32_t>(size);
  BytesRead += static_cast<std::int32_t>(size);
  if (OnProgress) reportBlock();
  return true;
}

void HttpGetThread::interrupt() {
  requestInterruption();
  {
    const std::lock_guard<std::mutex> lock(handOff_);
    stopped_ = true;
  }
  blockHandled_.notify_all();
}

void HttpGetThread::queueDrain() {
  QMetaObject::invokeMethod(
      this, [this] { drainProgress(); }, Qt::QueuedConnection);
  ++handedOver;
}

void HttpGetThread::reportBlock() {
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

void HttpGetThread::drainProgress() {
  ++handedTaken;
  const auto sliceEnd = std::chrono::steady_clock::now() + DrainSlice;
  for (;;) {
    const std::uint64_t block = blocksPosted_.load(std::memory_order_acquire);
    if (block == blocksHandled_.load(std::memory_order_relaxed)) break;
    // A destroyed or cancelled component hears nothing more.
    if (!stopped_) {
      inCall_ = true;
      try {
        OnProgress(this, ContentLength, BytesRead);
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

void HttpGetThread::Execute() {
  Succeeded = false;
  const Target target = splitUrl(URL);
  if (isInterruptionRequested() || !target.ok) return;

  CURL* curl = curl_easy_init();
  if (!curl) return;
  Transfer t;
  t.worker = this;
  const std::string url = "http://" + target.hostPort + target.path;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  // The path goes out as it was given: "/./" and "/../" are the server's to resolve, not ours to fold into
  // a request for another file.
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  // libcurl receives into a buffer of its own; the body is taken from it in blocks of BlockSize at most.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 16384L);
  if (!Agent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, Agent.c_str());

  curl_slist* headers = nullptr;
  const std::string accept = "Accept: " + AcceptTypes;
  headers = curl_slist_append(headers, AcceptTypes.empty() ? "Accept:" : accept.c_str());
  if (!UseCache) headers = curl_slist_append(headers, "Pragma: no-cache");
  if (!Referer.empty()) curl_easy_setopt(curl, CURLOPT_REFERER, Referer.c_str());
  if (!PostQuery.empty()) {
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(PostQuery.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, PostQuery.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

  // Proxies: the system's settings are libcurl's proxy environment variables; the user name and password
  // belong to the proxy and are never handed to the server.
  std::string proxy;
  bool mayUseProxy = true;
  switch (UseProxy) {
    case ProxyMode::Preconfig:
      break;
    case ProxyMode::Direct:
      mayUseProxy = false;
      break;
    case ProxyMode::Proxy:
      if (ProxyHost.empty()) {
        mayUseProxy = false;
      } else {
        proxy = ProxyHost + ":" + std::to_string(ProxyPort == 0 ? 80u : ProxyPort);
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
    if (!UserName.empty()) {
      curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, UserName.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, Password.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
  }

  // No time limit for a transfer, but a server that sends nothing, or only a trickle, for a minute has
  // stalled: give up on it, so that the user gets an error instead of a command that never ends.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(std::max<std::uint32_t>(LowSpeedLimit, 1)));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max<std::uint32_t>(LowSpeedTime, 1)));

  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpGetThread::headerCallback);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpGetThread::bodyCallback);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &checkCancel);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, static_cast<QThread*>(this));

  const CURLcode result = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);

  if (t.sizeAnswered) return;
  bool ok =
      result == CURLE_OK && t.fd >= 0 && !t.writeFailed && BytesRead == ContentLength && !isInterruptionRequested();
  if (t.fd >= 0 && ::close(t.fd) != 0) ok = false;
  if (ok && ::rename(t.tempName.c_str(), FileName.c_str()) != 0) ok = false;
  if (!ok && !t.tempName.empty()) ::unlink(t.tempName.c_str());
  Succeeded = ok;
}

// ---------------------------------------------------------------------------------------------------------
HttpGet::HttpGet(QObject* owner) : QObject(owner) {
  static std::once_flag curlReady;
  std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpGet::~HttpGet() {
  HttpGetThread* worker = ActiveWorker;
  if (!worker) return;
  Cancel();
  ActiveWorker = nullptr;
  // The worker ends on its own and then frees itself; its completion no longer reaches this component.
  worker->owner = nullptr;
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  if (worker->isFinished()) {
    worker->wait();
    delete worker;
  }
}

void HttpGet::StartDownload() {
  if (ActiveWorker) return;
  startWorker(false);
  if (WaitThread) waitForWorker();
}

int HttpGet::QueryRemoteSize() {
  if (ActiveWorker) return -1;
  startWorker(true);
  waitForWorker();
  return LastSucceeded ? LastSize : -1;
}

void HttpGet::Cancel() {
  if (!ActiveWorker) return;
  ActiveWorker->interrupt();
  ActiveWorker->Succeeded = false;
}

void HttpGet::startWorker(bool sizeOnly) {
  auto* worker = new HttpGetThread(*this, sizeOnly);
  ActiveWorker = worker;
  // Attached before the start, so that a transfer that ends at once still completes.
  worker->owner = this;
  worker->start();
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
    while (ActiveWorker) {
      if (loop.exec() == TransferEnded) continue;
      // The application is closing: stop the transfer and let it end.
      Cancel();
      while (ActiveWorker) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  } catch (...) {
    // Something else run by the loop threw: the transfer ends first, then the exception goes on.
    failure = std::current_exception();
    Cancel();
    while (ActiveWorker) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  disconnect(look);
  waitLoop_ = outer;
  if (!failure) failure = handlerFailure_;
  handlerFailure_ = nullptr;
  if (failure) std::rethrow_exception(failure);
}

void HttpGet::lookForWorker() {
  HttpGetThread* const worker = ActiveWorker;
  if (!worker) return;
  const unsigned handed = worker->handedOver;
  // A call handed over and not yet run is waiting in the queue: nothing to look for.
  if (handed != worker->handedTaken) return;
  spinFor(
      waitSpin_, [&] { return worker->handedOver != handed; }, MaxWaitSpinNs);
}

void HttpGet::workerEnded(HttpGetThread* worker) {
  if (worker != ActiveWorker) return;
  worker->wait();
  std::exception_ptr failure;
  try {
    WorkerFinished(worker);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!failure) failure = worker->progressFailure;
  // The transfer is over whatever its handlers did.
  ActiveWorker = nullptr;
  delete worker;
  if (waitLoop_) {
    if (failure && !handlerFailure_) handlerFailure_ = failure;
    waitLoop_->exit(TransferEnded);
  } else if (failure) {
    // Nobody waits for this transfer: the exception goes to whoever runs the event loop.
    std::rethrow_exception(failure);
  }
}

void HttpGet::WorkerFinished(HttpGetThread* worker) {
  LastSucceeded = worker->Succeeded && !worker->isInterruptionRequested();
  if (LastSucceeded) {
    if (worker->sizeOnly()) {
      LastSize = worker->ContentLength;
    } else if (OnDoneFile) {
      OnDoneFile(this, worker->fileName(), worker->ContentLength);
    }
  } else if (OnError) {
    OnError(this);
  }
}
