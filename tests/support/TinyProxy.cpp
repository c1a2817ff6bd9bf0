#include "support/TinyProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace testsupport {

namespace {

bool accepting(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

TinyProxy::TinyProxy(const std::string& user, const std::string& password) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "quorrel-proxy-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = buf.data();
  port_ = freePort();
  std::string config = "Port " + std::to_string(port_) +
                       "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Critical\n";
  if (!user.empty()) config += "BasicAuth " + user + " " + password + "\n";
  const std::string configPath = folder_ + "/tinyproxy.conf";
  writeFile(configPath, config);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::execl("/usr/bin/tinyproxy", "tinyproxy", "-d", "-c", configPath.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 100 && !accepting(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (!accepting(port_)) throw std::runtime_error("tinyproxy did not start");
}

TinyProxy::~TinyProxy() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  removeTree(folder_);
}

}  // namespace testsupport
