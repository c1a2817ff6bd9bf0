#pragma once
// What the fault drills share: running one test of this executable again in a child process under limits
// that the test process itself must not take on (no privileges, a file size limit), a small disk of
// its own, and a loopback server that drops its connections wherever it is told.
#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drills {

// True in the child run of a drill: the test body then does the drill's work in the current directory,
// which the parent prepared.
bool inChild();

struct ChildLimits {
  // Without every capability (root stays uid 0 but loses its power over permission bits): the bits of files
  // and folders count again, as for every user. The child runs the same test program from the same place, so
  // it runs wherever the checkout lies, also below a home folder closed to others.
  bool withoutPrivileges = false;
  long long maxFileSize = -1;  // RLIMIT_FSIZE in bytes; -1 leaves it as it is
};

// Runs the current test again in a child process with the limits applied, in the current directory, and
// returns its exit status (0: the child's checks passed).
int runCurrentTestInChild(const ChildLimits& limits);

// Gives a file or folder to the unprivileged user 65534, so that the child is not its owner.
void giveToNobody(const std::string& path);

// A tmpfs of a few kilobytes mounted on a folder for the life of the object. mounted() is false where this
// system does not allow mounting (not root, or a container without the right), or when
// QUORREL_DRILL_NO_TMPFS is set.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, int kilobytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  // Fills the disk up, then frees `leave` bytes again: the next larger write runs out of space.
  void fillLeaving(const std::string& fillerPath, long long leave);

 private:
  std::string folder_;
  bool mounted_ = false;
};

// Answers every connection on 127.0.0.1 with its reply, except connection number `cutConnection` (counting
// from 0), which it closes after `cutAt` bytes of the reply.
class DroppingServer {
 public:
  DroppingServer();
  ~DroppingServer();
  DroppingServer(const DroppingServer&) = delete;
  DroppingServer& operator=(const DroppingServer&) = delete;

  std::string base() const;  // "http://127.0.0.1:<port>/"
  void setReply(const std::string& reply, int cutConnection, std::size_t cutAt);
  int connections() const { return connections_; }

 private:
  void serve();

  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::string reply_;
  int cutConnection_ = -1;
  std::size_t cutAt_ = 0;
  std::thread thread_;
};

// "HTTP/1.0 200 OK" with a Content-Length and the body.
std::string okReply(const std::string& body);

// Names of the entries of a folder, sorted.
std::vector<std::string> entriesOf(const std::string& folder);

}  // namespace drills
