#pragma once
// Small pieces the benchmark programs share.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/Prompter.h"

namespace bench {

// Answers every box with its default button and cancels input boxes; remembers what was asked.
class SilentPrompter : public quorrel::Prompter {
 public:
  quorrel::MsgButton ask(const quorrel::MessageRequest& r) override {
    asked.push_back(r.text);
    const auto i = static_cast<std::size_t>(r.defaultButton);
    return i < r.buttons.size() ? r.buttons[i] : quorrel::MsgButton::Ok;
  }
  bool inputText(const QString&, const QString&, QString&) override { return false; }
  std::vector<QString> asked;
};

// A new scratch folder for a benchmark's files, ending in "/": under $TMPDIR when set, else in memory
// (/dev/shm) when possible. Both sides of a comparison write there, and a disk's file system would mostly
// measure itself: ext4 slows down creating files for a while after thousands have been deleted.
inline std::string scratchFolder(const char* name) {
  std::string parent = "/tmp";
  if (const char* t = std::getenv("TMPDIR"); t && *t) {
    parent = t;
  } else if (::access("/dev/shm", W_OK) == 0) {
    parent = "/dev/shm";
  }
  std::string folder = parent + "/" + name + "-XXXXXX";
  if (!::mkdtemp(folder.data())) std::exit(2);
  return folder + "/";
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// A listening TCP socket on 127.0.0.1 with a port of the system's choosing; exits the program when it cannot.
inline int listenOnLoopback(int backlog, int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, backlog) != 0) std::exit(2);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

// Reads an HTTP request up to the blank line that ends its head (or until the peer stops sending).
inline std::string readRequestHead(int fd) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
  }
  return request;
}

// Ends the answer, reads what the peer still sends until it closes, then closes the connection.
inline void finishConnection(int fd) {
  ::shutdown(fd, SHUT_WR);
  char drain[4096];
  while (::recv(fd, drain, sizeof drain, 0) > 0) {
  }
  ::close(fd);
}

// Sends all of the bytes, or as many as the peer takes before it hangs up.
inline void sendAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return;  // a size query hangs up after the headers
    p += k;
    n -= static_cast<std::size_t>(k);
  }
}
inline void sendAll(int fd, const std::string& data) { sendAll(fd, data.data(), data.size()); }

// An HTTP server on 127.0.0.1 that answers one connection at a time on a thread of its own: `answer` gets the
// connection and the request's head, and the connection is ended after it.
class LoopbackServer {
 public:
  using Answer = std::function<void(int connection, const std::string& request)>;
  LoopbackServer(int backlog, Answer answer) : answer_(std::move(answer)) {
    fd_ = listenOnLoopback(backlog, port_);
    thread_ = std::thread([this] {
      for (;;) {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        answer_(c, readRequestHead(c));
        finishConnection(c);
      }
    });
  }
  ~LoopbackServer() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  Answer answer_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

inline double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Milliseconds since `start`.
inline double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The file name (without extension) of benchmark game i.
inline std::string gameFile(int i) { return "game" + std::to_string(i); }

// Games 1..count in `folder`, each a descriptor and an archive, `bytes` together; the archives' bytes vary, so a
// copy that lands shifted or mixed up does not compare equal.
inline void writeGames(const std::filesystem::path& folder, int count, std::size_t bytes) {
  std::filesystem::create_directories(folder);
  for (int i = 1; i <= count; ++i) {
    const std::string jad =
        "MIDlet-Name: Game " + std::to_string(i) + "\r\nMIDlet-Jar-URL: " + gameFile(i) + ".jar\r\n";
    std::ofstream(folder / (gameFile(i) + ".jad"), std::ios::binary) << jad;
    std::string jar(bytes - jad.size(), '\0');
    for (std::size_t k = 0; k < jar.size(); ++k)
      jar[k] = static_cast<char>((k * 131 + static_cast<std::size_t>(i)) >> 3);
    std::ofstream(folder / (gameFile(i) + ".jar"), std::ios::binary) << jar;
  }
}

// Sets the phone's Java folder aside and gives it a fresh empty one. Nothing is deleted until the end: ext4
// makes files created right after many deletions pay for the search of recently freed inodes, which would
// time the file system's housekeeping rather than the copy.
inline void freshJavaFolder(const std::filesystem::path& phone, int& serial) {
  std::filesystem::rename(phone / "java", phone / ("java-" + std::to_string(++serial)));
  std::filesystem::create_directories(phone / "java");
}

}  // namespace bench
