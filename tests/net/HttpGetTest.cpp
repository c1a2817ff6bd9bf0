// The download component against real servers on 127.0.0.1: the request on the wire, size queries,
// failures that must leave the previous copy alone, progress, waiting, cancelling, proxies.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net/HttpGet.h"
#include "support/HttpTestServer.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testsupport::hasHeader;
using testsupport::headerOf;
using testsupport::HttpReply;
using testsupport::HttpTestServer;
using testsupport::readFile;
using testsupport::TempWorkDir;
using testsupport::TinyProxy;
using testsupport::writeFile;

namespace {

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

std::uint32_t crc32Of(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char ch : data) {
    crc ^= static_cast<unsigned char>(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A valid gzip stream of `data` (at most 65535 bytes) in one stored block, as libcurl would inflate it.
std::string gzipStored(const std::string& data) {
  std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  const auto n = static_cast<std::uint16_t>(data.size());
  const auto le = [&out](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  out.push_back('\x01');
  le(n, 2);
  le(static_cast<std::uint16_t>(~n), 2);
  out += data;
  le(crc32Of(data), 4);
  le(static_cast<std::uint32_t>(data.size()), 4);
  return out;
}

// `data` in chunked form, in pieces of `piece` bytes.
std::string chunked(const std::string& data, std::size_t piece) {
  std::string out;
  char size[32];
  for (std::size_t at = 0; at < data.size(); at += piece) {
    const std::size_t n = std::min(piece, data.size() - at);
    std::snprintf(size, sizeof size, "%zx\r\n", n);
    out += size + data.substr(at, n) + "\r\n";
  }
  return out + "0\r\n\r\n";
}

// Runs the main thread's events for a while.
void pumpEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Threads of this process right now.
std::size_t threadCount() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// A request for a URL into a local file.
HttpRequest requestInto(const std::string& url, const std::string& fileName) {
  HttpRequest request;
  request.url = url;
  request.fileName = fileName;
  return request;
}

class HttpGetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    get.options.waitThread = true;
    get.options.binaryData = true;
    get.options.useProxy = ProxyMode::Direct;
    get.handlers.progress = [this](int total, int bytesRead) {
      progress.emplace_back(total, bytesRead);
      if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++progressOffMainThread;
      if (onProgress) onProgress();
    };
    get.handlers.done = [this](const std::string& name, int size) {
      doneName = name;
      doneSize = size;
      ++done;
    };
    get.handlers.failed = [this] { ++errors; };
  }

  // A request for a URL into a file of the working folder.
  HttpRequest requestFor(const std::string& url, const std::string& file = "got.bin") {
    return requestInto(url, dir / file);
  }

  // Downloads a server path into a file of the working folder.
  void fetch(const std::string& path, const std::string& file = "got.bin") {
    get.start(requestFor(server.base() + path, file));
  }

  TempWorkDir dir;
  HttpTestServer server;
  HttpGet get{nullptr};
  std::vector<std::pair<int, int>> progress;
  int progressOffMainThread = 0;
  std::function<void()> onProgress;
  int done = 0;
  int errors = 0;
  std::string doneName;
  int doneSize = -1;
};

}  // namespace

TEST_F(HttpGetTest, RequestOnTheWireCarriesTheGivenHeadersAndNoCredentials) {
  server.route("/Base/games/a%20b.jad", HttpReply::ok("jad"));
  get.options.agent = "SAMSUNG-SGH-X100/PEARL UP.Browser/6.1.0.6 (GUI) MMP/1.0";
  get.options.userName = "bob";  // proxy credentials: never for the server
  get.options.password = "secret";
  get.start(requestFor("HTTP://" + server.base().substr(7) + "Base\\games\\a b.jad", "a.jad"));
  ASSERT_EQ(done, 1);

  const std::string r = server.requests().at(0);
  EXPECT_EQ(server.requestLines().at(0), "GET /Base/games/a%20b.jad HTTP/1.0");
  EXPECT_EQ(headerOf(r, "Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(headerOf(r, "Accept"), "*/*");
  EXPECT_EQ(headerOf(r, "User-Agent"), get.options.agent);
  EXPECT_EQ(headerOf(r, "Pragma"), "no-cache");
  EXPECT_FALSE(hasHeader(r, "Referer"));
  EXPECT_FALSE(hasHeader(r, "Authorization"));
  EXPECT_FALSE(hasHeader(r, "Proxy-Authorization"));
  EXPECT_EQ(r.find("secret"), std::string::npos);

  // Without the scheme the same resource is asked for; with the cache allowed there is no Pragma.
  HttpRequest again = requestFor(server.base().substr(7) + "Base/games/a b.jad", "a.jad");
  again.referer = "http://example.invalid/list";
  get.options.useCache = true;
  get.options.agent.clear();
  get.start(again);
  ASSERT_EQ(done, 2);
  const std::string second = server.requests().at(1);
  EXPECT_EQ(server.requestLines().at(1), "GET /Base/games/a%20b.jad HTTP/1.0");
  EXPECT_FALSE(hasHeader(second, "Pragma"));
  EXPECT_FALSE(hasHeader(second, "User-Agent"));
  EXPECT_EQ(headerOf(second, "Referer"), "http://example.invalid/list");

  // Dot segments go out as they were written; the server resolves them, not the client.
  server.route("/Base/games/../../x.jad", HttpReply::ok("x"));
  server.route("/Base/./games/a.jad", HttpReply::ok("a"));
  get.start(requestFor(server.base() + "Base/games/../../x.jad", "a.jad"));
  get.start(requestFor(server.base() + "Base\\.\\games\\a.jad", "a.jad"));
  ASSERT_EQ(done, 4);
  EXPECT_EQ(server.requestLines().at(2), "GET /Base/games/../../x.jad HTTP/1.0");
  EXPECT_EQ(server.requestLines().at(3), "GET /Base/./games/a.jad HTTP/1.0");
}

TEST_F(HttpGetTest, PostQuerySendsAFormBody) {
  server.route("/form", HttpReply::ok("ok"));
  HttpRequest form = requestFor(server.base() + "form");
  form.postQuery = "name=x&v=1";
  get.start(form);
  ASSERT_EQ(done, 1);
  const std::string r = server.requests().at(0);
  EXPECT_EQ(server.requestLines().at(0), "POST /form HTTP/1.0");
  EXPECT_EQ(headerOf(r, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.substr(r.size() - 10), "name=x&v=1");

  // The next transfer of the same component is a plain GET again: nothing of the form stays behind.
  fetch("form");
  ASSERT_EQ(done, 2);
  EXPECT_EQ(server.requestLines().at(1), "GET /form HTTP/1.0");
  EXPECT_FALSE(hasHeader(server.requests().at(1), "Content-Type"));
}

TEST_F(HttpGetTest, ManyTransfersInARowOnOneComponentEachEndAsTheirOwn) {
  const std::string body = pattern(50000);
  server.route("/a.bin", HttpReply::ok(body));
  HttpReply gone = HttpReply::ok("no");
  gone.statusLine = "HTTP/1.0 404 Not Found";
  server.route("/gone", gone);
  writeFile(dir / "keep.bin", "previous copy");
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(get.remoteSize(server.base() + "a.bin"), 50000);
    fetch("a.bin", "a" + std::to_string(round % 3) + ".bin");
    EXPECT_EQ(done, round + 1);
    EXPECT_EQ(doneSize, 50000);
    get.start(requestFor(server.base() + "gone", "keep.bin"));
    EXPECT_EQ(errors, 2 * round + 1);
    EXPECT_EQ(get.lastFailure(), "сервер ответил «HTTP/1.0 404 Not Found»");
    EXPECT_EQ(get.remoteSize(server.base() + "gone"), -1);
    EXPECT_EQ(errors, 2 * round + 2);
  }
  EXPECT_EQ(readFile(dir / "a2.bin"), body);
  EXPECT_EQ(readFile(dir / "keep.bin"), "previous copy");
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a0.bin", "a1.bin", "a2.bin", "keep.bin"}));
  EXPECT_EQ(server.requests().size(), 100u);
}

TEST_F(HttpGetTest, CancelledRightAfterItsStartATransferFailsAndTheNextOneRuns) {
  server.route("/a.bin", HttpReply::ok(pattern(300000)));
  writeFile(dir / "got.bin", "previous copy");
  get.options.waitThread = false;
  for (int round = 1; round <= 20; ++round) {
    fetch("a.bin");
    get.cancel();
    for (int i = 0; i < 500 && done + errors < round; ++i) pumpEvents(2);
    ASSERT_EQ(errors, round);
  }
  EXPECT_EQ(done, 0);
  EXPECT_EQ(get.lastFailure(), "передача прервана");
  EXPECT_EQ(readFile(dir / "got.bin"), "previous copy");
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"got.bin"});

  get.options.waitThread = true;
  fetch("a.bin");
  EXPECT_EQ(done, 1);
  EXPECT_EQ(readFile(dir / "got.bin"), pattern(300000));
}

TEST_F(HttpGetTest, EachTransferHasAConnectionOfItsOwnEvenWhenTheServerWouldKeepIt) {
  // A server that answers in HTTP/1.1, offers to keep the connection and waits on it for more requests.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), len), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::mutex lock;
  std::vector<int> requestsPerConnection;  // -1 while the client keeps the connection open
  std::vector<int> openSockets;
  std::vector<std::thread> connections;
  std::thread acceptor([&] {
    for (int c; (c = ::accept(listener, nullptr, nullptr)) >= 0;) {
      std::size_t slot = 0;
      {
        const std::lock_guard<std::mutex> guard(lock);
        slot = requestsPerConnection.size();
        requestsPerConnection.push_back(-1);
        openSockets.push_back(c);
      }
      connections.emplace_back([&, c, slot] {
        int served = 0;
        std::string in;
        char buf[4096];
        for (ssize_t n; (n = ::recv(c, buf, sizeof buf, 0)) > 0;) {
          in.append(buf, static_cast<std::size_t>(n));
          for (auto end = in.find("\r\n\r\n"); end != std::string::npos; end = in.find("\r\n\r\n")) {
            in.erase(0, end + 4);
            ++served;
            const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: keep-alive\r\n\r\nhello";
            ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
          }
        }
        const std::lock_guard<std::mutex> guard(lock);
        requestsPerConnection[slot] = served;
        openSockets[slot] = -1;
        ::close(c);
      });
    }
  });
  const std::string base = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/";

  get.start(requestFor(base + "a", "a.bin"));
  EXPECT_EQ(get.remoteSize(base + "a"), 5);
  get.start(requestFor(base + "b", "b.bin"));
  EXPECT_EQ(done, 2);
  EXPECT_EQ(readFile(dir / "b.bin"), "hello");

  // Every connection carried one request and was closed by the client when its transfer ended.
  std::vector<int> seen;
  for (int i = 0; i < 500; ++i) {
    {
      const std::lock_guard<std::mutex> guard(lock);
      seen = requestsPerConnection;
    }
    if (seen.size() >= 3 && std::count(seen.begin(), seen.end(), -1) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 1}));
  {
    // Connections a faulty client still holds are ended from this side.
    const std::lock_guard<std::mutex> guard(lock);
    for (const int c : openSockets) {
      if (c >= 0) ::shutdown(c, SHUT_RDWR);
    }
  }
  ::shutdown(listener, SHUT_RDWR);
  acceptor.join();
  for (std::thread& t : connections) t.join();
  ::close(listener);
}

TEST_F(HttpGetTest, SizeQueryReadsTheLengthOnlyAndFailsWithoutOne) {
  server.route("/a.bin", HttpReply::ok(pattern(70000)));
  HttpReply noLength = HttpReply::ok("abc");
  noLength.sendLength = false;
  server.route("/nolength", noLength);
  server.route("/gone", HttpReply::status("HTTP/1.0 404 Not Found", "<html>gone</html>"));

  EXPECT_EQ(get.remoteSize(server.base() + "a.bin"), 70000);
  EXPECT_EQ(server.requestLines().at(0), "GET /a.bin HTTP/1.0");
  EXPECT_FALSE(testsupport::exists(dir / "a.bin"));
  EXPECT_TRUE(filesIn(dir.path()).empty());
  EXPECT_TRUE(progress.empty());
  EXPECT_EQ(done + errors, 0);

  EXPECT_EQ(get.remoteSize(server.base() + "nolength"), -1);
  EXPECT_EQ(errors, 1);
  // An error page has a length, but it is not the resource.
  EXPECT_EQ(get.remoteSize(server.base() + "gone"), -1);
  EXPECT_EQ(errors, 2);
}

TEST_F(HttpGetTest, FailedTransfersLeaveThePreviousCopyAndNoLeftovers) {
  HttpReply noLength = HttpReply::ok("body without a length");
  noLength.sendLength = false;
  HttpReply shortBody = HttpReply::ok(pattern(5000));
  shortBody.cutAfter = 3000;
  HttpReply badLength = HttpReply::ok("12345");
  badLength.lengthText = "5x";
  server.route("/nolength", noLength);
  server.route("/short", shortBody);
  server.route("/badlength", badLength);
  server.route("/error", HttpReply::status("HTTP/1.0 500 Internal Server Error", "<html>broken</html>"));
  const std::string host = "127.0.0.1:" + std::to_string(server.port());

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"no Content-Length", server.base() + "nolength"},
      {"body cut short", server.base() + "short"},
      {"Content-Length not a number", server.base() + "badlength"},
      {"error status with a body", server.base() + "error"},
      {"missing resource", server.base() + "missing"},
      {"nobody listening", "http://127.0.0.1:" + std::to_string(testsupport::freePort()) + "/a"},
      {"no slash after the host", "http://" + host},
      {"https to a server that answers in plain HTTP", "https://" + host + "/short"},
      {"port that is not a number", "http://127.0.0.1:80x/a"},
  };
  for (const auto& [what, url] : cases) {
    SCOPED_TRACE(what);
    writeFile(dir / "game.jar", "previous copy");
    errors = done = 0;
    get.start(requestFor(url, "game.jar"));
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(readFile(dir / "game.jar"), "previous copy");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"game.jar"});
  }

  // A target whose folder does not exist.
  errors = 0;
  server.route("/ok", HttpReply::ok("fine"));
  fetch("ok", "missing/folder/x.bin");
  EXPECT_EQ(errors, 1);
  EXPECT_FALSE(testsupport::exists(dir / "missing"));
}

TEST_F(HttpGetTest, AnswersThatWouldWriteOtherBytesOrMoreThanAnnouncedAreRefused) {
  const std::string body = pattern(3000);
  const auto reply = [](const std::string& wire, const std::string& headers, const std::string& length) {
    HttpReply r = HttpReply::ok(wire);
    r.headers = headers;
    r.lengthText = length;
    return r;
  };
  const std::string n = std::to_string(body.size());
  struct Case {
    const char* what;
    HttpReply reply;
    std::int64_t bound;
    std::string saved;  // empty: refused
  };
  const std::vector<Case> cases = {
      {"gzip transfer coding never offered", reply(gzipStored(body), "Transfer-Encoding: gzip\r\n", n), 0, ""},
      {"chunked and gzip", reply(chunked(gzipStored(body), 700), "Transfer-Encoding: chunked, GZIP\r\n", n), 0, ""},
      {"deflate", reply(gzipStored(body), "Transfer-Encoding: deflate\r\n", n), 0, ""},
      {"chunked body past its length", reply(chunked(body + body, 1000), "Transfer-Encoding: chunked\r\n", n), 0,
       ""},
      {"longer than its bound", HttpReply::ok(body), 2999, ""},
      {"chunked of its length", reply(chunked(body, 1000), "Transfer-Encoding: chunked\r\n", n), 0, body},
      {"content coding saved as sent", reply(gzipStored(body), "Content-Encoding: gzip\r\n", ""), 0,
       gzipStored(body)},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = "x" + std::to_string(number++);
    server.route("/" + path, c.reply);
    writeFile(dir / "got.bin", "previous copy");
    errors = done = 0;
    get.options.maxBodySize = c.bound;
    fetch(path);
    EXPECT_EQ(errors, c.saved.empty() ? 1 : 0);
    EXPECT_EQ(get.lastRefused(), c.saved.empty());
    EXPECT_EQ(get.lastFailure().empty(), !c.saved.empty()) << get.lastFailure();
    EXPECT_EQ(readFile(dir / "got.bin"), c.saved.empty() ? "previous copy" : c.saved);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"got.bin"});
  }
  // A size query reads only the head: a coding does not keep it from the length.
  server.route("/size", reply(gzipStored(body), "Transfer-Encoding: gzip\r\n", n));
  EXPECT_EQ(get.remoteSize(server.base() + "size"), 3000);
}

TEST_F(HttpGetTest, ADripJustAboveTheOldLowRateFailsAndASlowLinkPasses) {
  // The default low rate (16 bytes a second over a minute) stays; the average floor of 1 KiB a second counts
  // from one second after the start instead of a minute.
  get.options.rateGraceTime = 1;
  const std::string body = pattern(4000);
  HttpReply drip = HttpReply::ok(body);  // 20 bytes a second
  drip.chunk = 2;
  drip.chunkDelayMs = 100;
  HttpReply dripHead = drip;
  dripHead.chunkHead = true;
  HttpReply slowLink = HttpReply::ok(pattern(10000));  // 5 KB a second for two seconds
  slowLink.chunk = 500;
  slowLink.chunkDelayMs = 100;
  server.route("/drip", drip);
  server.route("/driphead", dripHead);
  server.route("/slow", slowLink);
  for (const char* path : {"drip", "driphead"}) {
    SCOPED_TRACE(path);
    writeFile(dir / "got.bin", "previous copy");
    errors = done = 0;
    fetch(path);
    EXPECT_EQ(errors, 1);
    EXPECT_NE(get.lastFailure().find("слишком медленно"), std::string::npos) << get.lastFailure();
    EXPECT_EQ(readFile(dir / "got.bin"), "previous copy");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"got.bin"});
  }
  errors = done = 0;
  fetch("slow");
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(readFile(dir / "got.bin"), pattern(10000));
}

TEST_F(HttpGetTest, ATransferBelowTheLowRateFailsAndAFasterOneDoesNot) {
  get.options.lowSpeedLimit = 16;  // bytes a second ...
  get.options.lowSpeedTime = 1;    // ... kept up for this many seconds
  const std::string body = pattern(6000);
  HttpReply drip = HttpReply::ok(body);  // 4 bytes a second
  drip.chunk = 2;
  drip.chunkDelayMs = 500;
  HttpReply dripHead = drip;  // the answer's head already comes that slowly
  dripHead.chunkHead = true;
  HttpReply silent = HttpReply::ok(body);  // the headers, then nothing
  silent.holdAfter = 0;
  HttpReply silentAfterAStart = HttpReply::ok(body);
  silentAfterAStart.holdAfter = 3000;
  HttpReply steady = HttpReply::ok(body);  // 3000 bytes a second for two seconds: slow, but alive
  steady.chunk = 300;
  steady.chunkDelayMs = 100;
  server.route("/drip", drip);
  server.route("/driphead", dripHead);
  server.route("/silent", silent);
  server.route("/stalls", silentAfterAStart);
  server.route("/steady", steady);

  for (const char* path : {"drip", "driphead", "silent", "stalls"}) {
    SCOPED_TRACE(path);
    writeFile(dir / "got.bin", "previous copy");
    errors = done = 0;
    fetch(path);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(readFile(dir / "got.bin"), "previous copy");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"got.bin"});
  }
  errors = done = 0;
  fetch("steady");
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(readFile(dir / "got.bin"), body);
  server.release();
}

TEST_F(HttpGetTest, AnExceptionFromAHandlerEndsTheWaitAndIsThrownOn) {
  server.route("/a", HttpReply::ok(pattern(3000)));
  const auto boom = [](const char* what) { throw std::runtime_error(what); };
  struct Case {
    const char* what;
    const char* path;
    bool sizeOnly;
    int errorsRaised;
  };
  const Case cases[] = {
      {"completion of a download", "a", false, 0},
      {"error of a download", "missing", false, 1},
      {"error of a size query", "missing", true, 1},
      {"progress call", "a", false, 1},  // the transfer stops and fails; the exception still comes out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    const std::string what = c.what;
    if (what.rfind("completion", 0) == 0) get.handlers.done = [&](const std::string&, int) { boom(c.what); };
    if (what.rfind("error", 0) == 0) get.handlers.failed = [&] { ++errors, boom(c.what); };
    if (what.rfind("progress", 0) == 0) onProgress = [&] { boom(c.what); };
    errors = done = 0;
    writeFile(dir / "got.bin", "previous copy");
    try {
      if (c.sizeOnly) {
        get.remoteSize(server.base() + c.path);
      } else {
        fetch(c.path);
      }
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.what);
    }
    EXPECT_FALSE(get.busy());
    EXPECT_EQ(errors, c.errorsRaised);
    if (c.errorsRaised) {
      EXPECT_EQ(readFile(dir / "got.bin"), "previous copy");
    }

    // The component is free for the next transfer, which the handlers no longer spoil.
    onProgress = nullptr;
    SetUp();
    errors = done = 0;
    fetch("a");
    EXPECT_EQ(done, 1);
    EXPECT_EQ(readFile(dir / "got.bin"), pattern(3000));
  }
}

TEST_F(HttpGetTest, EmptyAndUnannouncedBodies) {
  writeFile(dir / "empty.bin", "old");
  server.route("/empty", HttpReply::ok(""));
  fetch("empty", "empty.bin");
  EXPECT_EQ(done, 1);
  EXPECT_EQ(doneSize, 0);
  EXPECT_EQ(doneName, dir / "empty.bin");
  EXPECT_EQ(readFile(dir / "empty.bin"), "");

  // Without BinaryData a response without a length is read; only an empty one is complete.
  get.options.binaryData = false;
  HttpReply none = HttpReply::ok("");
  none.sendLength = false;
  server.route("/none", none);
  HttpReply some = HttpReply::ok("some bytes");
  some.sendLength = false;
  server.route("/some", some);
  fetch("none", "none.bin");
  EXPECT_EQ(done, 2);
  EXPECT_TRUE(testsupport::exists(dir / "none.bin"));
  writeFile(dir / "some.bin", "old");
  fetch("some", "some.bin");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(readFile(dir / "some.bin"), "old");
}

TEST_F(HttpGetTest, ProgressComesPerBlockOfAtMost1025BytesOnTheMainThread) {
  const std::string body = pattern(10000);
  HttpReply slow = HttpReply::ok(body);
  slow.chunk = 3000;  // arrives in pieces larger than a block
  slow.chunkDelayMs = 5;
  server.route("/big", slow);
  const auto mainThread = std::this_thread::get_id();
  onProgress = [&] { EXPECT_EQ(std::this_thread::get_id(), mainThread); };
  fetch("big");
  ASSERT_EQ(done, 1);
  EXPECT_EQ(doneSize, 10000);
  EXPECT_EQ(readFile(dir / "got.bin"), body);
  ASSERT_GE(progress.size(), 10u);
  int previous = 0;
  for (const auto& [total, bytesRead] : progress) {
    EXPECT_EQ(total, 10000);
    EXPECT_GT(bytesRead, previous);
    EXPECT_LE(bytesRead - previous, 1025);
    previous = bytesRead;
  }
  EXPECT_EQ(previous, 10000);
  EXPECT_EQ(progressOffMainThread, 0);  // the worker's progress is reported on the main thread
}

TEST_F(HttpGetTest, AFastTransferKeepsEachCallInStepWithTheFileAndLetsTheWindowIn) {
  const std::string body = pattern(300 * 1025 + 7);
  server.route("/fast", HttpReply::ok(body));
  // The body sits in the file beside the target until it is complete; at each progress call it holds
  // exactly the bytes reported so far.
  const auto partSize = [&]() -> std::uintmax_t {
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      if (e.path().filename().string().rfind("got.bin.part", 0) == 0) return e.file_size();
    }
    return 0;
  };
  std::vector<std::uintmax_t> sizes;
  std::size_t timerAt = 0;
  onProgress = [&] {
    sizes.push_back(partSize());
    // Far more work than one turn of the hand-off may hold the main thread for: the window's own events
    // must be let in before the transfer ends.
    std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (progress.size() == 1) QTimer::singleShot(0, [&] { timerAt = progress.size(); });
  };
  fetch("fast");
  ASSERT_EQ(done, 1);
  EXPECT_EQ(readFile(dir / "got.bin"), body);
  ASSERT_EQ(sizes.size(), progress.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    ASSERT_EQ(sizes[i], static_cast<std::uintmax_t>(progress[i].second)) << "call " << i;
  }
  EXPECT_EQ(progress.back().second, static_cast<int>(body.size()));
  EXPECT_GT(timerAt, 0u);
  EXPECT_LT(timerAt, progress.size());
}

TEST(HttpGetLifetime, DestroyedFromItsOwnProgressCallRaisesNothingMore) {
  TempWorkDir dir;
  HttpTestServer server;
  server.route("/fast", HttpReply::ok(pattern(200 * 1024)));
  int calls = 0;
  bool ended = false;
  auto get = std::make_unique<HttpGet>(nullptr);
  get->options.useProxy = ProxyMode::Direct;
  get->handlers.progress = [&](int, int) {
    ++calls;
    // The call that runs belongs to the worker, which must outlive it, also when the handler then runs
    // the window's events (as a message box would).
    get.reset();
    pumpEvents(50);
  };
  get->handlers.done = [&](const std::string&, int) { ended = true; };
  get->handlers.failed = [&] { ended = true; };
  get->start(requestInto(server.base() + "fast", dir / "x.bin"));  // does not wait
  for (int i = 0; i < 100 && calls == 0; ++i) pumpEvents(10);
  pumpEvents(100);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(ended);
  EXPECT_FALSE(testsupport::exists(dir / "x.bin"));
}

TEST_F(HttpGetTest, DuringTheWaitTheWindowRunsAndASecondTransferIsRefused) {
  const std::string body = pattern(5000);
  HttpReply held = HttpReply::ok(body);
  held.holdAfter = 2000;
  server.route("/held", held);
  server.route("/other", HttpReply::ok("other"));
  bool timerRan = false;
  int secondSize = 0;
  std::string runningUrl;
  onProgress = [&] {
    if (progress.size() != 1) return;
    // Settings changed during the transfer do not change it; a second transfer is refused without an event,
    // and the component still names the request that runs.
    get.options.maxBodySize = 1;
    get.start(requestFor(server.base() + "other", "other.bin"));
    secondSize = get.remoteSize(server.base() + "other");
    runningUrl = get.request().url;
    QTimer::singleShot(20, [&] {
      timerRan = true;
      server.release();
    });
  };
  fetch("held");
  EXPECT_TRUE(timerRan);
  EXPECT_EQ(secondSize, -1);
  EXPECT_EQ(runningUrl, server.base() + "held");
  EXPECT_EQ(done, 1);
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(doneName, dir / "got.bin");
  EXPECT_EQ(readFile(dir / "got.bin"), body);
  EXPECT_FALSE(testsupport::exists(dir / "other.bin"));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(HttpGetTest, CancelEndsTheTransferAsFailedAndKeepsThePreviousCopy) {
  // The server sends its headers, then stays silent.
  HttpReply silent = HttpReply::ok(pattern(4000));
  silent.holdAfter = 0;
  server.route("/silent", silent);
  writeFile(dir / "got.bin", "previous copy");
  QTimer::singleShot(100, [&] { get.cancel(); });
  fetch("silent");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(done, 0);
  EXPECT_EQ(readFile(dir / "got.bin"), "previous copy");

  // Cancelled from a progress call in the middle of the body.
  HttpReply held = HttpReply::ok(pattern(4000));
  held.holdAfter = 2000;
  server.route("/held", held);
  onProgress = [&] {
    get.cancel();
    server.release();
  };
  fetch("held");
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(progress.size(), 1u);
  EXPECT_EQ(readFile(dir / "got.bin"), "previous copy");
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"got.bin"});
}

TEST_F(HttpGetTest, WithoutWaitingTheEventComesLater) {
  server.route("/a", HttpReply::ok("abc"));
  get.options.waitThread = false;
  fetch("a");
  EXPECT_EQ(done, 0);
  for (int i = 0; i < 100 && done == 0; ++i) pumpEvents(10);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(readFile(dir / "got.bin"), "abc");
}

namespace {

// "/held" sends its first 1000 bytes of 4000 and then waits for server.release().
void routeHeld(HttpTestServer& server) {
  HttpReply held = HttpReply::ok(pattern(4000));
  held.holdAfter = 1000;
  server.route("/held", held);
}

// A component that does not wait, whose handlers count how often any of them runs.
std::unique_ptr<HttpGet> countingComponent(int& heard) {
  auto get = std::make_unique<HttpGet>(nullptr);
  get->options.useProxy = ProxyMode::Direct;
  get->handlers.progress = [&heard](int, int) { ++heard; };
  get->handlers.done = [&heard](const std::string&, int) { ++heard; };
  get->handlers.failed = [&heard] { ++heard; };
  return get;
}

}  // namespace

TEST(HttpGetLifetime, DestroyedWhileRunningRaisesNoEvent) {
  TempWorkDir dir;
  HttpTestServer server;
  routeHeld(server);
  int heard = 0;
  auto get = countingComponent(heard);
  get->start(requestInto(server.base() + "held", dir / "x.bin"));  // does not wait
  ASSERT_TRUE(server.waitForRequests(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the first block's progress call is queued
  get.reset();
  server.release();
  pumpEvents(300);
  EXPECT_EQ(heard, 0);
  EXPECT_FALSE(testsupport::exists(dir / "x.bin"));
}

TEST(HttpGetLifetime, ComponentsDestroyedBusyOrIdleLeaveNoThreadAndNoFileBehind) {
  TempWorkDir dir;
  HttpTestServer server;
  routeHeld(server);
  server.route("/a", HttpReply::ok("abc"));
  pumpEvents(10);
  const std::size_t threadsBefore = threadCount();
  int heard = 0;  // handlers run
  const auto make = [&heard] { return countingComponent(heard); };
  // Destroyed while their threads run a transfer, one after another: each thread ends it and then itself.
  for (int i = 0; i < 10; ++i) {
    auto get = make();
    get->start(requestInto(server.base() + "held", dir / ("x" + std::to_string(i) + ".bin")));
    ASSERT_TRUE(server.waitForRequests(static_cast<std::size_t>(i) + 1));
    get.reset();
  }
  // Destroyed idle after a few transfers of its own, and right after the start of one.
  {
    auto get = make();
    get->options.waitThread = true;
    for (int i = 0; i < 3; ++i) get->start(requestInto(server.base() + "a", dir / "a.bin"));
    EXPECT_EQ(heard, 6);  // a progress call and the end each
    get->options.waitThread = false;
    get->start(requestInto(server.base() + "a", dir / "b.bin"));
  }
  server.release();
  for (int i = 0; i < 200 && threadCount() > threadsBefore; ++i) pumpEvents(10);
  pumpEvents(50);
  EXPECT_EQ(heard, 6);
  EXPECT_EQ(threadCount(), threadsBefore);
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"a.bin"});
}

// ---- Proxies ------------------------------------------------------------------------------------------
namespace {

// Sets an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// tinyproxy names itself in a Via header of what it forwards.
bool cameThroughProxy(const std::string& request) {
  return headerOf(request, "Via").find("tinyproxy") != std::string::npos;
}

}  // namespace

TEST_F(HttpGetTest, ProxyCredentialsAuthenticateWithTheProxyOnly) {
  TinyProxy proxy("alice", "s3cret");
  server.route("/a.jad", HttpReply::ok("jad"));
  get.options.useProxy = ProxyMode::Proxy;
  get.options.proxyHost = "127.0.0.1";
  get.options.proxyPort = static_cast<std::uint32_t>(proxy.port());
  get.options.userName = "alice";
  get.options.password = "s3cret";
  fetch("a.jad");
  ASSERT_EQ(done, 1);
  ASSERT_EQ(server.requests().size(), 1u);
  const std::string r = server.requests()[0];
  EXPECT_TRUE(cameThroughProxy(r));
  EXPECT_FALSE(hasHeader(r, "Authorization"));
  EXPECT_FALSE(hasHeader(r, "Proxy-Authorization"));
  EXPECT_EQ(r.find("alice"), std::string::npos);

  // Refused by the proxy: a failure, and the file stays as it was.
  get.options.password = "wrong";
  fetch("a.jad");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(readFile(dir / "got.bin"), "jad");
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(HttpGetTest, ProxyModesChooseTheRoute) {
  TinyProxy proxy;
  server.route("/a", HttpReply::ok("a"));
  const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
  EnvVar httpProxy("http_proxy", proxyUrl.c_str());
  EnvVar noProxy("no_proxy", nullptr);
  EnvVar noProxyUpper("NO_PROXY", nullptr);

  get.options.useProxy = ProxyMode::Preconfig;  // the system's proxy settings
  fetch("a");
  get.options.useProxy = ProxyMode::Direct;  // no proxy at all, whatever the system says
  fetch("a");
  get.options.useProxy = ProxyMode::Proxy;  // an explicit proxy without a host goes direct
  get.options.proxyHost.clear();
  fetch("a");
  get.options.proxyHost = "127.0.0.1";
  get.options.proxyPort = static_cast<std::uint32_t>(proxy.port());
  fetch("a");

  // A no-proxy list in the environment belongs to the system's settings: it does not send requests around
  // the proxy the user chose.
  {
    EnvVar lower("no_proxy", "127.0.0.1");
    fetch("a");
    get.options.useProxy = ProxyMode::Preconfig;
    fetch("a");
  }
  {
    EnvVar upper("NO_PROXY", "*");
    get.options.useProxy = ProxyMode::Proxy;
    fetch("a");
  }

  ASSERT_EQ(done, 7);
  const auto r = server.requests();
  ASSERT_EQ(r.size(), 7u);
  EXPECT_TRUE(cameThroughProxy(r[0]));
  EXPECT_FALSE(cameThroughProxy(r[1]));
  EXPECT_FALSE(cameThroughProxy(r[2]));
  EXPECT_TRUE(cameThroughProxy(r[3]));
  EXPECT_TRUE(cameThroughProxy(r[4]));
  EXPECT_FALSE(cameThroughProxy(r[5]));
  EXPECT_TRUE(cameThroughProxy(r[6]));
}
