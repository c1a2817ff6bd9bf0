#pragma once
// The HTTP download component: fetches one URL into a local file on a transfer thread of its own and reports
// progress, completion and failure on the main thread through its handlers. It can also ask a server for the
// length of a resource without reading the body.
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QEventLoop;

enum class ProxyMode : std::uint8_t { Preconfig = 0, Direct = 1, Proxy = 2 };

class HttpGetWorker;
class HttpGetRunner;

// What one transfer fetches and where it puts it.
struct HttpRequest {
  std::string url;
  std::string fileName;   // the local file the body replaces once complete; unused by a size query
  std::string postQuery;  // sent as a form (POST) when not empty
  std::string referer;
};

// The settings every transfer of a component uses; a transfer takes a copy of them when it starts.
struct HttpOptions {
  std::string acceptTypes = "*/*";
  std::string agent = "Kelvor HTTPGet";
  bool binaryData = false;
  bool useCache = false;
  ProxyMode useProxy = ProxyMode::Preconfig;
  std::string proxyHost;
  std::uint32_t proxyPort = 0;
  std::string userName;  // credentials for the proxy; never sent to the server
  std::string password;
  // start() returns only once the transfer has ended.
  bool waitThread = false;
  // A transfer that stays below lowSpeedLimit bytes a second for lowSpeedTime seconds has stalled and fails
  // as timed out; a server that sends nothing at all for that long is the plainest case of it.
  std::uint32_t lowSpeedLimit = 16;
  std::uint32_t lowSpeedTime = 60;
  // Beyond that, everything a transfer receives (head and body) must keep up an average of minAverageRate
  // bytes a second counted from rateGraceTime seconds after its start: a transfer of n bytes is over within
  // rateGraceTime + n / minAverageRate seconds however its server spreads them. 0 turns the floor off.
  std::uint32_t minAverageRate = 1024;
  std::uint32_t rateGraceTime = 60;
  // A body announced longer than this is refused before it is read; 0: no bound but the disk's free space.
  std::int64_t maxBodySize = 0;
};

class HttpGet : public QObject {
  Q_OBJECT
 public:
  // What the component calls, on the main thread and in this order: progress after each block of the body,
  // then done or failed once.
  struct Handlers {
    std::function<void(int totalSize, int bytesRead)> progress;
    std::function<void(const std::string& fileName, int fileSize)> done;
    std::function<void()> failed;
  };

  explicit HttpGet(QObject* owner);
  // Cancels a running transfer and detaches its completion, so that no handler runs for a destroyed component.
  ~HttpGet() override;

  HttpOptions options;
  Handlers handlers;

  // Downloads the request's URL into its file. Ignored while a transfer runs. With options.waitThread,
  // returns after handlers.done or handlers.failed has run; the window keeps handling its events meanwhile.
  // An exception thrown by one of the handlers ends the transfer and the wait as usual and is then thrown on
  // from here.
  void start(const HttpRequest& request);
  // The server's Content-Length for url, -1 on failure (handlers.failed run) or while a transfer runs
  // (nothing run). Always waits; an exception from a handler is thrown on as for start().
  int remoteSize(const std::string& url);
  // Stops the running transfer at its next check point; it then ends as failed.
  void cancel();

  // The request of the running transfer, else of the last one started.
  const HttpRequest& request() const { return request_; }
  bool busy() const { return activeWorker_ != nullptr; }

  // Why the last transfer or size query failed, in words for the log; empty after a success.
  const std::string& lastFailure() const { return lastFailure_; }
  // Whether its answer was refused: an encoding the request did not offer, a body longer than announced, or
  // one too large for its bound or for the disk. Such an answer is never taken for the file.
  bool lastRefused() const { return lastRefused_; }
  // Why an address cannot be fetched (no host, a scheme other than http, a user name in it, a port that is
  // not 1 to 65535, ...); empty when it can.
  static std::string addressFault(const std::string& url);

 private:
  void startWorker(bool sizeOnly);
  void waitForWorker();
  void workerEnded(HttpGetWorker* worker);
  // Called before the waiting event loop sleeps: looks briefly for the worker's next call.
  void lookForWorker();
  friend class HttpGetWorker;
  // The completion step, on the main thread after the worker's transfer has returned.
  void workerFinished(HttpGetWorker* worker);

  HttpRequest request_;
  HttpGetWorker* activeWorker_ = nullptr;
  // The thread that runs this component's transfers one after another; made with the first one.
  std::shared_ptr<HttpGetRunner> runner_;
  std::int32_t lastSize_ = 0;
  bool lastSucceeded_ = false;
  std::string lastFailure_;
  bool lastRefused_ = false;
  QEventLoop* waitLoop_ = nullptr;
  // What a handler threw during the transfer the innermost wait waits for; thrown on once the wait ends.
  std::exception_ptr handlerFailure_;
  struct {
    std::int64_t ns = 100000;
    unsigned looks = 0;
  } waitSpin_;
};

// One transfer. Holds copies of the component's settings taken at creation, so changing the component
// during a transfer does not affect it. It is made for its transfer, run once on the component's transfer
// thread and freed on the main thread after its end. Progress calls are run on the main thread while the
// worker waits.
// A block's call is handed over through a small slot rather than a blocking queued call: both sides look
// at the slot for a few microseconds before they sleep, so a fast transfer does not pay two thread wake-ups
// for each block, and a slow one still sleeps between blocks.
class HttpGetWorker : public QObject {
  Q_OBJECT
 public:
  HttpGetWorker(const HttpGet& source, const HttpRequest& request, bool sizeOnly,
                std::shared_ptr<HttpGetRunner> runner);

  // Stops the transfer at its next check point; wakes it when it waits for a progress call.
  void interrupt();
  bool isInterruptionRequested() const { return interrupted_.load(std::memory_order_acquire); }
  // On the transfer thread: runs the transfer with the thread's libcurl handle, then hands its end to the
  // main thread. After that the thread no longer touches this object.
  void run(void* curl);

  const std::string& fileName() const { return request_.fileName; }
  bool sizeOnly() const { return sizeOnly_; }

  // Results, read on the main thread once the transfer has returned.
  std::atomic<bool> succeeded{false};

  // The component that started the transfer; cleared when it is destroyed first. Main thread only.
  HttpGet* owner = nullptr;
  std::int32_t contentLength = 0;
  std::uint32_t blockRead = 0;  // bytes of the last block
  std::int32_t bytesRead = 0;   // body bytes written so far
  // The first exception thrown by a progress call; the transfer stops and it is thrown on at its end.
  std::exception_ptr progressFailure;
  // Why the transfer failed (set by the worker before it ends), and whether its answer was refused.
  std::string failure;
  bool refused = false;

 private:
  struct Transfer;
  static std::size_t headerCallback(char* data, std::size_t size, std::size_t count, void* transfer);
  static std::size_t bodyCallback(char* data, std::size_t size, std::size_t count, void* transfer);
  static int progressCallback(void* transfer, std::int64_t, std::int64_t, std::int64_t, std::int64_t);
  static int openSocket(void* runner, int purpose, void* address);
  static int closeSocket(void* runner, int fd);
  // Notes the first reason of a failure; a refusal is noted as one.
  void fail(Transfer& t, std::string why, bool refusal = false);
  void execute(void* curl);
  // Decides, once the response headers are in, whether the body is read. False ends the transfer.
  bool headersEnded(Transfer& t);
  // One body block: written to the file, counted, reported. False stops the transfer.
  bool takeBlock(Transfer& t, const char* data, std::size_t size);
  // Has the main thread run the progress call of the block just taken; returns once it has run or the
  // transfer is interrupted.
  void reportBlock();
  // On the main thread: runs the progress calls handed over, looking a little while for the next one.
  void drainProgress();
  void queueDrain();

  const HttpOptions options_;
  const HttpRequest request_;
  const bool sizeOnly_;
  const std::function<void(int totalSize, int bytesRead)> progress_;

  // Holds the thread's state (and so the counters of calls handed over) for as long as this object lives,
  // also when its component and the thread are gone.
  const std::shared_ptr<HttpGetRunner> runner_;
  std::atomic<bool> interrupted_{false};

  // The hand-off slot: the worker counts the blocks it hands over, the main thread the calls it has run.
  std::atomic<std::uint64_t> blocksPosted_{0};
  std::atomic<std::uint64_t> blocksHandled_{0};
  std::atomic<bool> drainQueued_{false};  // a drain call is queued or running on the main thread
  std::atomic<bool> stopped_{false};      // interrupted: no more progress calls
  std::atomic<bool> inCall_{false};       // a progress call runs on the main thread
  std::mutex handOff_;
  std::condition_variable blockHandled_;
  // How long each side looks at the slot before it sleeps: grows while looking pays off, shrinks while it
  // does not (a slow server, or both threads on one core).
  struct SpinBudget {
    std::int64_t ns = 25000;
    unsigned looks = 0;
  };
  SpinBudget workerSpin_;
  SpinBudget mainSpin_;
};
