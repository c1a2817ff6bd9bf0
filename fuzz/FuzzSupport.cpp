#include "FuzzSupport.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sanitizer/lsan_interface.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/MainWindow.h"
#include "common/Paths.h"

namespace fuzzsupport {

namespace {

std::string& folder() {
  static std::string path;
  return path;
}

void removeScratch() {
  if (folder().empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(folder(), ec);
}

}  // namespace

void enterScratchFolder() {
  if (!folder().empty()) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorrel-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) fail("cannot make a scratch folder in " + pattern);
  if (::chdir(pattern.c_str()) != 0) fail("cannot enter " + pattern);
  folder() = pattern + "/";
  std::atexit(removeScratch);
}

const std::string& scratchFolder() { return folder(); }

void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write " + path);
  if (size && std::fwrite(data, 1, size, f) != size) fail("short write to " + path);
  std::fclose(f);
}

void writeBytes(const std::string& path, const std::string& bytes) {
  writeBytes(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string readBytes(const std::string& path, bool* ok) {
  std::string bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (ok) *ok = f != nullptr;
  if (!f) return bytes;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

void clearScratchFolder() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder(), ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

void fail(const std::string& what) {
  std::fprintf(stderr, "\n*** fuzz check failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

quorrel::MsgButton RecordingPrompter::ask(const quorrel::MessageRequest& request) {
  // The same box again right away means its default did not help (a disk prompt that no disk here can
  // satisfy): answer as a user would the second time and give up, when the box lets one.
  const bool repeated = !asked.empty() && asked.back().text == request.text;
  asked.push_back(request);
  if (repeated) {
    for (quorrel::MsgButton b : request.buttons) {
      if (b == quorrel::MsgButton::Cancel) return b;
    }
  }
  const auto i = static_cast<std::size_t>(request.defaultButton);
  return i < request.buttons.size() ? request.buttons[i] : quorrel::MsgButton::Cancel;
}

bool RecordingPrompter::inputText(const QString&, const QString&, QString&) { return false; }

RecordingPrompter& windowPrompter() {
  static RecordingPrompter prompter;
  return prompter;
}

LoopbackServer::LoopbackServer(std::function<std::string(const std::string&)> answer) : answer_(std::move(answer)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    fail("cannot listen on 127.0.0.1");
  port_ = ntohs(addr.sin_port);
  std::thread([this] { serve(); }).detach();  // lives as long as the process
}

void LoopbackServer::serve() {
  while (true) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // The request head, giving up after two seconds of silence.
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) break;
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    const std::string reply = answer_(request.substr(0, request.find("\r\n")));
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
  }
}

void ensureApplication() {
  if (QCoreApplication::instance()) return;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's own caches live until exit; they are not leaks of ours.
  __lsan_disable();
  static int argc = 1;
  static char name[] = "Quorrel";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  __lsan_enable();
}

MainWindow& mainWindow() {
  // Never destroyed: the process ends with the fuzzing run, and Qt objects outliving exit handlers is safer
  // than tearing them down in an arbitrary order.
  static MainWindow* window = nullptr;
  if (!window) {
    enterScratchFolder();
    ensureApplication();
    // The window loads the phone plugin; a target may swap it for another. The fuzzer keeps counters in
    // every instrumented library it has seen, so none of them may be unmapped while it runs.
    ::dlopen((quorrel::executableDir() + "sghfs.wfx").c_str(), RTLD_NOW | RTLD_NODELETE);
    __lsan_disable();
    window = createApplicationWindows(&windowPrompter()).release();
    __lsan_enable();
    windowPrompter().asked.clear();
  }
  return *window;
}

}  // namespace fuzzsupport
