#pragma once
// The HTTP download component: fetches one URL into a local file on a worker thread of its own and reports
// progress, completion and failure on the main thread through its events. It can also ask a server for the
// length of a resource without reading the body.
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

class QEventLoop;

enum class ProxyMode : std::uint8_t { Preconfig = 0, Direct = 1, Proxy = 2 };

class HttpGetThread;

class HttpGet : public QObject {
  Q_OBJECT
 public:
  using ProgressHandler = std::function<void(QObject* sender, int totalSize, int readed)>;
  using DoneHandler = std::function<void(QObject* sender, const std::string& fileName, int fileSize)>;
  using NotifyHandler = std::function<void(QObject* sender)>;

  explicit HttpGet(QObject* owner);
  // Cancels a running transfer and detaches its completion, so that no event reaches a destroyed component.
  ~HttpGet() override;

  std::string AcceptTypes = "*/*";
  std::string Agent = "Kelvor HTTPGet";
  bool BinaryData = false;
  std::string URL;
  bool UseCache = false;
  ProxyMode UseProxy = ProxyMode::Preconfig;
  std::string ProxyHost;
  std::uint32_t ProxyPort = 0;
  std::string FileName;
  std::string UserName;  // credentials for the proxy; never sent to the server
  std::string Password;
  std::string PostQuery;
  std::string Referer;
  bool WaitThread = false;
  // A transfer that stays below LowSpeedLimit bytes a second for LowSpeedTime seconds has stalled and fails
  // as timed out; a server that sends nothing at all for that long is the plainest case of it.
  std::uint32_t LowSpeedLimit = 16;
  std::uint32_t LowSpeedTime = 60;
  // Beyond that, everything a transfer receives (head and body) must keep up an average of MinAverageRate
  // bytes a second counted from RateGraceTime seconds after its start: a transfer of n bytes is over within
  // RateGraceTime + n / MinAverageRate seconds however its server spreads them. 0 turns the floor off.
  std::uint32_t MinAverageRate = 1024;
  std::uint32_t RateGraceTime = 60;
  // A body announced longer than this is refused before it is read; 0: no bound but the disk's free space.
  std::int64_t MaxBodySize = 0;
  ProgressHandler OnProgress;
  DoneHandler OnDoneFile;
  NotifyHandler OnError;

  // Downloads URL into FileName. Ignored while a transfer runs. With WaitThread, returns after OnDoneFile
  // or OnError has been raised; the window keeps handling its events meanwhile. An exception thrown by one
  // of the handlers ends the transfer and the wait as usual and is then thrown on from here.
  void StartDownload();
  // The server's Content-Length for URL, -1 on failure (OnError raised) or while a transfer runs (no event).
  // Always waits; an exception from a handler is thrown on as for StartDownload.
  int QueryRemoteSize();
  // Stops the running transfer at its next check point; it then ends as failed.
  void Cancel();

  bool busy() const { return ActiveWorker != nullptr; }

  // Why the last transfer or size query failed, in words for the log; empty after a success.
  const std::string& lastFailure() const { return LastFailure; }
  // Whether its answer was refused: an encoding the request did not offer, a body longer than announced, or
  // one too large for its bound or for the disk. Such an answer is never taken for the file.
  bool lastRefused() const { return LastRefused; }
  // Why an address cannot be fetched (no host, a scheme other than http, a user name in it, a port that is
  // not 1 to 65535, ...); empty when it can.
  static std::string addressFault(const std::string& url);

 private:
  void startWorker(bool sizeOnly);
  void waitForWorker();
  void workerEnded(HttpGetThread* worker);
  // Called before the waiting event loop sleeps: looks briefly for the worker's next call.
  void lookForWorker();
  friend class HttpGetThread;
  // The completion step, on the main thread after the worker's transfer has returned.
  void WorkerFinished(HttpGetThread* worker);

  HttpGetThread* ActiveWorker = nullptr;
  std::int32_t LastSize = 0;
  bool LastSucceeded = false;
  std::string LastFailure;
  bool LastRefused = false;
  QEventLoop* waitLoop_ = nullptr;
  // What a handler threw during the transfer the innermost wait waits for; thrown on once the wait ends.
  std::exception_ptr handlerFailure_;
  struct {
    std::int64_t ns = 100000;
    unsigned looks = 0;
  } waitSpin_;
};

// One transfer. Holds copies of the component's settings taken at creation, so changing the component
// during a transfer does not affect it. Progress calls are run on the main thread while the worker waits.
// A block's call is handed over through a small slot rather than a blocking queued call: both sides look
// at the slot for a few microseconds before they sleep, so a fast transfer does not pay two thread wake-ups
// for each block, and a slow one still sleeps between blocks.
class HttpGetThread : public QThread {
  Q_OBJECT
 public:
  HttpGetThread(const HttpGet& source, bool sizeOnly);

  // Stops the transfer at its next check point; wakes it when it waits for a progress call.
  void interrupt();

  const std::string& fileName() const { return FileName; }
  bool sizeOnly() const { return SizeOnly; }

  // Results, read on the main thread once the transfer has returned.
  std::atomic<bool> Succeeded{false};

  // The component that started the transfer; cleared when it is destroyed first. Main thread only.
  HttpGet* owner = nullptr;
  // Calls handed to the main thread (progress drains and the end), and the drains it has run.
  std::atomic<unsigned> handedOver{0};
  unsigned handedTaken = 0;
  std::int32_t ContentLength = 0;
  std::uint32_t BlockRead = 0;  // bytes of the last block
  std::int32_t BytesRead = 0;   // body bytes written so far
  // The first exception thrown by a progress call; the transfer stops and it is thrown on at its end.
  std::exception_ptr progressFailure;
  // Why the transfer failed (set by the worker before it ends), and whether its answer was refused.
  std::string Failure;
  bool Refused = false;

 protected:
  void run() override;

 private:
  struct Transfer;
  static std::size_t headerCallback(char* data, std::size_t size, std::size_t count, void* transfer);
  static std::size_t bodyCallback(char* data, std::size_t size, std::size_t count, void* transfer);
  static int progressCallback(void* transfer, std::int64_t, std::int64_t, std::int64_t, std::int64_t);
  static int openSocket(void* worker, int purpose, void* address);
  static int closeSocket(void* worker, int fd);
  // Notes the first reason of a failure; a refusal is noted as one.
  void fail(Transfer& t, std::string why, bool refused = false);
  void Execute();
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

  std::string AcceptTypes, Agent, URL, FileName, UserName, Password, PostQuery, Referer;
  bool BinaryData, UseCache, SizeOnly;
  ProxyMode UseProxy;
  std::string ProxyHost;
  std::uint32_t ProxyPort;
  std::uint32_t LowSpeedLimit, LowSpeedTime, MinAverageRate, RateGraceTime;
  std::int64_t MaxBodySize;
  HttpGet::ProgressHandler OnProgress;

  // The connection's socket while it is open, so that an interruption can shut it down at once instead of
  // waiting for libcurl's next look at the cancel flag.
  std::mutex socketLock_;
  int socket_ = -1;

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
