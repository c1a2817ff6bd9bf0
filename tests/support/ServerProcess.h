#pragma once
// Real servers from Debian's packages, started for one test on a free port of 127.0.0.1 and stopped when the
// object goes away: tinyproxy with a configuration of its own, and python3's http.server.
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// A child process that listens on a port; stopped (SIGTERM) and reaped on destruction.
class ServerProcess {
 public:
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  int port() const { return port_; }

 protected:
  ServerProcess();
  ~ServerProcess();
  // Runs the program and waits until the port accepts connections.
  void start(const std::vector<std::string>& argv);

  std::string folder_;  // a temporary folder of the server's own, removed at the end
  int port_ = 0;

 private:
  pid_t pid_ = -1;
};

class TinyProxy : public ServerProcess {
 public:
  // With a user name, the proxy demands these credentials (Basic) from every client.
  explicit TinyProxy(const std::string& user = {}, const std::string& password = {});
};

class PythonHttpServer : public ServerProcess {
 public:
  // Serves the folder `root` (absolute).
  explicit PythonHttpServer(const std::string& root);
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port()) + "/"; }
};

// python3's http.server behind TLS, with the certificate and key given (PEM files).
class PythonHttpsServer : public ServerProcess {
 public:
  PythonHttpsServer(const std::string& root, const std::string& certificate, const std::string& key);
  std::string base() const { return "https://127.0.0.1:" + std::to_string(port()) + "/"; }
};

// Certificates made with openssl for a test: a certificate authority, a server certificate it signed for
// 127.0.0.1, and a self-signed one for the same address that no store trusts. Files in `folder`.
struct TestCertificates {
  explicit TestCertificates(const std::string& folder);
  std::string authority;          // the authority's certificate: the bundle a client trusts
  std::string serverCertificate;  // signed by the authority
  std::string serverKey;
  std::string strangerCertificate;  // self-signed
  std::string strangerKey;
};

}  // namespace testsupport
