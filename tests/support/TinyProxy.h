#pragma once
// Debian's tinyproxy, started for one test on a free port of 127.0.0.1 with a configuration of its own, and
// stopped when the object goes away.
#include <string>
#include <sys/types.h>

namespace testsupport {

class TinyProxy {
 public:
  // With a user name, the proxy demands these credentials (Basic) from every client.
  explicit TinyProxy(const std::string& user = {}, const std::string& password = {});
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  int port() const { return port_; }

 private:
  std::string folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace testsupport
