#include "support/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

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

ServerProcess::ServerProcess() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "quorrel-server-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = buf.data();
  port_ = freePort();
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  removeTree(folder_);
}

void ServerProcess::start(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string log = folder_ + "/server.log";
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  for (int i = 0; i < 200 && !accepting(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  if (!accepting(port_)) throw std::runtime_error(argv[0] + " did not start");
}

TinyProxy::TinyProxy(const std::string& user, const std::string& password) {
  std::string config = "Port " + std::to_string(port_) +
                       "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Critical\n";
  if (!user.empty()) config += "BasicAuth " + user + " " + password + "\n";
  const std::string configPath = folder_ + "/tinyproxy.conf";
  writeFile(configPath, config);
  start({"/usr/bin/tinyproxy", "-d", "-c", configPath});
}

PythonHttpServer::PythonHttpServer(const std::string& root) {
  start({"/usr/bin/python3", "-m", "http.server", std::to_string(port_), "--bind", "127.0.0.1", "--directory",
         root});
}

PythonHttpsServer::PythonHttpsServer(const std::string& root, const std::string& certificate, const std::string& key) {
  start({"/usr/bin/python3", QUORREL_TEST_SUPPORT_DIR "/https_server.py", std::to_string(port_), root, certificate,
         key});
}

TestCertificates::TestCertificates(const std::string& folder)
    : authority(folder + "/ca.pem"),
      serverCertificate(folder + "/server.pem"),
      serverKey(folder + "/server.key"),
      strangerCertificate(folder + "/stranger.pem"),
      strangerKey(folder + "/stranger.key") {
  const std::string f = "'" + folder + "'";
  const std::string commands =
      "cd " + f + " && printf 'subjectAltName=IP:127.0.0.1\\n' >san.ext && "
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Quorrel-Test-CA -keyout ca.key -out ca.pem && "
      "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr && "
      "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext "
      "-out server.pem && "
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 "
      "-keyout stranger.key -out stranger.pem";
  if (std::system(("(" + commands + ") >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("openssl could not make the test certificates");
}

}  // namespace testsupport
