#include "DrillSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace drills {

namespace {
constexpr const char* ChildVariable = "QUORREL_DRILL_CHILD";
constexpr uid_t Nobody = 65534;
}  // namespace

bool inChild() { return std::getenv(ChildVariable) != nullptr; }

namespace {

// Gives up every capability for this process and whatever it runs. Root then keeps its user id, so the
// test program stays reachable wherever it lies, but no longer overrides permission bits: a file or folder
// without the write bit is closed to it as to any user. An ordinary user has nothing to give up.
bool dropEveryCapability() {
  if (::geteuid() != 0) return true;
  for (int cap = 0; cap <= 63; ++cap) {
    if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno != EINVAL) return false;
  }
  if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) return false;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
  return ::syscall(SYS_capset, &header, none) == 0;
}

}  // namespace

int runCurrentTestInChild(const ChildLimits& limits) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return -1;
  exe[n] = '\0';
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::setenv(ChildVariable, "1", 1);
    if (limits.maxFileSize >= 0) {
      // A write past the limit then fails with EFBIG instead of killing the process.
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit r{static_cast<rlim_t>(limits.maxFileSize), static_cast<rlim_t>(limits.maxFileSize)};
      if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(90);
    }
    if (limits.withoutPrivileges && !dropEveryCapability()) {
      std::fprintf(stderr, "drill child: cannot give up its privileges: %s\n", std::strerror(errno));
      ::_exit(91);
    }
    char* const argv[] = {exe, const_cast<char*>(filter.c_str()), nullptr};
    ::execv(exe, argv);
    std::fprintf(stderr, "drill child: cannot run %s: %s\n", exe, std::strerror(errno));
    ::_exit(92);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void giveToNobody(const std::string& path) {
  if (::chown(path.c_str(), Nobody, Nobody) != 0) ADD_FAILURE() << "cannot give " << path << " away";
}

SmallDisk::SmallDisk(const std::string& folder, int kilobytes) : folder_(folder) {
  fs::create_directories(folder);
  const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0777";
  // QUORREL_DRILL_NO_TMPFS=1 tries the drills' other way, as on a system that does not allow mounting.
  if (std::getenv("QUORREL_DRILL_NO_TMPFS")) return;
  mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

void SmallDisk::fillLeaving(const std::string& fillerPath, long long leave) {
  std::FILE* f = std::fopen(fillerPath.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string block(4096, 'f');
  long long written = 0;
  while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) written += 4096;
  std::fclose(f);
  // Whatever fwrite buffered may have been cut; what counts is the size on disk.
  written = static_cast<long long>(fs::file_size(fillerPath));
  fs::resize_file(fillerPath, static_cast<std::uintmax_t>(std::max(0LL, written - leave)));
}

DroppingServer::DroppingServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ADD_FAILURE() << "cannot listen on 127.0.0.1";
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

DroppingServer::~DroppingServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

std::string DroppingServer::base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

void DroppingServer::setReply(const std::string& reply, int cutConnection, std::size_t cutAt) {
  std::lock_guard<std::mutex> lock(mutex_);
  reply_ = reply;
  cutConnection_ = cutConnection;
  cutAt_ = cutAt;
  connections_ = 0;
}

void DroppingServer::serve() {
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // The request head first, so that the client is waiting for the answer when it is cut.
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd r{fd, POLLIN, 0};
      if (::poll(&r, 1, 2000) <= 0) break;
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    std::string reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      reply = reply_;
      if (connections_++ == cutConnection_) reply.resize(std::min(cutAt_, reply.size()));
    }
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }
}

std::string okReply(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: application/java-archive\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace drills
