#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

int listenOn(int port, int& boundPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  boundPort = ntohs(addr.sin_port);
  return fd;
}

bool sendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int freePort() {
  int port = 0;
  ::close(listenOn(0, port));
  return port;
}

namespace {

// Where the value of a header begins in a raw request, npos when the header is absent.
std::size_t findHeader(const std::string& request, const std::string& name) {
  const std::string key = "\r\n" + name + ":";
  const auto head = request.find("\r\n\r\n");
  for (std::size_t at = request.find("\r\n"); at != std::string::npos && at < head; at = request.find("\r\n", at + 2)) {
    if (strncasecmp(request.c_str() + at, key.c_str(), key.size()) == 0) {
      auto start = at + key.size();
      while (start < request.size() && request[start] == ' ') ++start;
      return start;
    }
  }
  return std::string::npos;
}

}  // namespace

std::string headerOf(const std::string& request, const std::string& name) {
  const auto start = findHeader(request, name);
  if (start == std::string::npos) return {};
  return request.substr(start, request.find("\r\n", start) - start);
}

bool hasHeader(const std::string& request, const std::string& name) {
  return findHeader(request, name) != std::string::npos;
}

HttpTestServer::HttpTestServer() {
  listenFd_ = listenOn(0, port_);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptor_.join();
  ::close(listenFd_);
  for (auto& t : connections_) t.join();
}

std::string HttpTestServer::base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

void HttpTestServer::route(const std::string& path, const HttpReply& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path].push_back(reply);
}

void HttpTestServer::release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

std::vector<std::string> HttpTestServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<std::string> HttpTestServer::requestLines() const {
  std::vector<std::string> lines;
  for (const auto& r : requests()) lines.push_back(r.substr(0, r.find("\r\n")));
  return lines;
}

bool HttpTestServer::waitForRequests(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

void HttpTestServer::acceptLoop() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      continue;
    }
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.emplace_back([this, fd] {
      serve(fd);
      ::close(fd);
    });
  }
}

HttpReply HttpTestServer::replyFor(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = routes_.find(path);
  if (it == routes_.end()) return HttpReply::status("HTTP/1.0 404 Not Found", "<html>no such file</html>");
  HttpReply reply = it->second.front();
  if (it->second.size() > 1) it->second.erase(it->second.begin());
  return reply;
}

void HttpTestServer::serve(int fd) {
  std::string request;
  char buf[4096];
  std::size_t head = std::string::npos;
  while ((head = request.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    request.append(buf, static_cast<std::size_t>(n));
  }
  const std::string length = headerOf(request, "Content-Length");
  const std::size_t bodySize = length.empty() ? 0 : std::stoul(length);
  while (request.size() < head + 4 + bodySize) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();

  const auto pathStart = request.find(' ') + 1;
  std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
  // Requests through a proxy carry the absolute form.
  if (path.compare(0, 7, "http://") == 0) path = path.substr(path.find('/', 7));
  const HttpReply reply = replyFor(path);

  std::string out = reply.statusLine + "\r\nServer: quorrel-test\r\n";
  if (reply.sendLength) {
    out +=
        "Content-Length: " + (reply.lengthText.empty() ? std::to_string(reply.body.size()) : reply.lengthText) + "\r\n";
  }
  out += reply.headers + "\r\n";
  if (reply.chunkHead && reply.chunk) {
    for (std::size_t at = 0; at < out.size(); at += reply.chunk) {
      std::this_thread::sleep_for(std::chrono::milliseconds(reply.chunkDelayMs));
      if (!sendAll(fd, out.data() + at, std::min(reply.chunk, out.size() - at))) return;
    }
  } else if (!sendAll(fd, out.data(), out.size())) {
    return;
  }

  const std::size_t end = std::min(reply.cutAfter, reply.body.size());
  std::size_t sent = 0;
  while (sent < end) {
    if (sent == reply.holdAfter) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return released_ || stopping_; });
      if (stopping_) return;
    }
    std::size_t n = end - sent;
    if (reply.chunk) n = std::min(n, reply.chunk);
    if (reply.holdAfter > sent) n = std::min(n, reply.holdAfter - sent);
    if (reply.chunkDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(reply.chunkDelayMs));
    if (!sendAll(fd, reply.body.data() + sent, n)) return;
    sent += n;
  }
  ::shutdown(fd, SHUT_WR);
  // Let the client read everything before the socket goes away.
  while (::recv(fd, buf, sizeof buf, 0) > 0) {
  }
}

}  // namespace testsupport
