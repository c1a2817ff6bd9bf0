#pragma once
// A small HTTP server on 127.0.0.1 for tests: answers each path with a scripted reply, records every raw
// request, and can misbehave on purpose (no Content-Length, a wrong one, a body cut short, an error status,
// a slow body or head, a body held back until the test lets it go).
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpReply {
  std::string statusLine = "HTTP/1.0 200 OK";
  std::string body;
  bool sendLength = true;                     // send a Content-Length header
  std::string lengthText;                     // its value; empty: the body's size
  std::size_t cutAfter = std::string::npos;   // close the connection after this many body bytes
  std::size_t holdAfter = std::string::npos;  // after this many body bytes wait for release()
  std::size_t chunk = 0;                      // send the body in pieces of this size ...
  int chunkDelayMs = 0;                       // ... with this pause before each
  bool chunkHead = false;                     // the status line and headers go out in those pieces too
  std::string headers;                        // more header lines, each ending in "\r\n"

  static HttpReply ok(std::string body) {
    HttpReply r;
    r.body = std::move(body);
    return r;
  }
  static HttpReply status(const std::string& line, std::string body) {
    HttpReply r;
    r.statusLine = line;
    r.body = std::move(body);
    return r;
  }
};

class HttpTestServer {
 public:
  HttpTestServer();
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>/"
  std::string base() const;

  // Replies for a request path as it appears on the wire ("/Base/games/a.jad"). Several replies for one
  // path are used in turn; the last one then answers every later request. Unknown paths get 404.
  void route(const std::string& path, const HttpReply& reply);
  // Lets every held reply go on.
  void release();

  // Raw request bytes (head and body), in arrival order.
  std::vector<std::string> requests() const;
  // Request lines ("GET /a HTTP/1.0"), in arrival order.
  std::vector<std::string> requestLines() const;
  // Waits until this many requests have arrived; false after timeoutMs.
  bool waitForRequests(std::size_t count, int timeoutMs = 5000) const;

 private:
  void acceptLoop();
  void serve(int fd);
  HttpReply replyFor(const std::string& path);

  int listenFd_ = -1;
  int port_ = 0;
  bool stopping_ = false;
  bool released_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, std::vector<HttpReply>> routes_;
  std::vector<std::string> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// Header value of a raw request ("" when absent); the name is matched without regard to case.
std::string headerOf(const std::string& request, const std::string& name);
bool hasHeader(const std::string& request, const std::string& name);

// A free TCP port on 127.0.0.1 (nothing listens on it right after the call).
int freePort();

}  // namespace testsupport
