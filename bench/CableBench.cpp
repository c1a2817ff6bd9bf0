// Batch upload of 20 marked games to a phone on a serial cable: through the real main window and the real
// plugin to the phone simulator on a pseudo-terminal at an unlimited line speed, against a minimal OBEX client
// of libopenobex that puts the same files, read from disk, over a pseudo-terminal of its own to a second
// simulator, in the same run (5 rounds, medians). Then one game through the window at 115200 baud (the
// simulator takes 11520 bytes a second, a serial line's 8N1 rate), and the same game through the minimal client.
// Prints "upload <ms> client <ms> ratio <upload/client> game115200 <s> client115200 <s>".
#include <fcntl.h>
#include <openobex/obex.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "catalogue/Catalogue.h"
#include "phone/PhoneSession.h"
#include "settings/Settings.h"
#include "support/PhoneSimulator.h"

namespace fs = std::filesystem;

namespace {

constexpr int Games = 20;
constexpr std::size_t GameBytes = 200 * 1024;
constexpr int Rounds = 5;
constexpr long SerialBytesPerSecond = 11520;  // 115200 baud, ten bits a byte

const unsigned char FolderBrowsing[16] = {0xF9, 0xEC, 0x7B, 0xC4, 0x95, 0x3C, 0x11, 0xD2,
                                          0x98, 0x4E, 0x52, 0x54, 0x00, 0xDC, 0x9E, 0x09};

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The peer: the fewest calls of libopenobex that put files on a cable phone. The line is switched with
// AT+CPROT=0, one OBEX session connects to the folder browsing service, changes into java/ and puts each file
// as one piece of body that the library cuts into packets of the negotiated size.
class MinimalClient {
 public:
  explicit MinimalClient(const std::string& device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) std::exit(3);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
    handle_ = OBEX_Init(OBEX_TRANS_CUSTOM, &MinimalClient::onEvent, 0);
    OBEX_SetUserData(handle_, this);
    obex_ctrans_t c{};
    c.connect = [](obex_t*, void*) { return 0; };
    c.disconnect = [](obex_t*, void*) { return 0; };
    c.listen = [](obex_t*, void*) { return -1; };
    c.handleinput = [](obex_t*, void*, int) { return 1; };
    c.write = [](obex_t*, void* self, std::uint8_t* data, int n) {
      const int fd = static_cast<MinimalClient*>(self)->fd_;
      for (int done = 0; done < n;) {
        const ssize_t k = ::write(fd, data + done, static_cast<std::size_t>(n - done));
        if (k <= 0) return -1;
        done += static_cast<int>(k);
      }
      return n;
    };
    c.read = [](obex_t*, void* self, std::uint8_t* buf, int size) {
      pollfd p{static_cast<MinimalClient*>(self)->fd_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return -1;
      return static_cast<int>(::read(p.fd, buf, static_cast<std::size_t>(size)));
    };
    c.customdata = this;
    OBEX_RegisterCTransport(handle_, &c);
    OBEX_SetTransportMTU(handle_, 32767, 32767);
    OBEX_TransportConnect(handle_, nullptr, 0);
  }
  ~MinimalClient() {
    OBEX_Cleanup(handle_);
    ::close(fd_);
  }
  MinimalClient(const MinimalClient&) = delete;
  MinimalClient& operator=(const MinimalClient&) = delete;

  void session(const fs::path& games, int first, int last) {
    const std::string at = "AT+CPROT=0\r";
    if (::write(fd_, at.data(), at.size()) != static_cast<ssize_t>(at.size())) std::exit(3);
    std::string reply;
    while (reply.find("CONNECT\r\n") == std::string::npos) {
      char buf[256];
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) std::exit(3);
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) std::exit(3);
      reply.append(buf, static_cast<std::size_t>(n));
    }
    obex_object_t* o = OBEX_ObjectNew(handle_, OBEX_CMD_CONNECT);
    add(o, OBEX_HDR_TARGET, FolderBrowsing, 16, OBEX_FL_FIT_ONE_PACKET);
    run(o);
    o = request(OBEX_CMD_SETPATH);
    const std::uint8_t flags[2] = {0x02, 0x00};
    OBEX_ObjectSetNonHdrData(o, flags, 2);
    const std::string java("\0j\0a\0v\0a\0\0", 10);
    add(o, OBEX_HDR_NAME, java.data(), 10, 0);
    run(o);
    for (int i = first; i <= last; ++i) {
      put(games / (bench::gameFile(i) + ".jar"), bench::gameFile(i) + "_suite.jar");
      put(games / (bench::gameFile(i) + ".jad"), bench::gameFile(i) + "_suite.jad");
    }
    run(request(OBEX_CMD_DISCONNECT));
  }

 private:
  void put(const fs::path& file, const std::string& name) {
    const std::string data = readAll(file);
    std::string unicode;
    for (const char ch : name) unicode += std::string{'\0', ch};
    unicode += std::string(2, '\0');
    obex_object_t* o = request(OBEX_CMD_PUT);
    add(o, OBEX_HDR_NAME, unicode.data(), unicode.size(), 0);
    obex_headerdata_t length;
    length.bq4 = static_cast<std::uint32_t>(data.size());
    OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_LENGTH, length, 4, 0);
    // The body goes as a stream whose first request for data gets the whole file as its last piece: the
    // library cuts it into packets and marks the last one End-of-Body.
    body_ = &data;
    if (add(o, OBEX_HDR_BODY, nullptr, 0, OBEX_FL_STREAM_START) < 0) std::exit(5);
    run(o);
    body_ = nullptr;
  }

  obex_object_t* request(int command) {
    obex_object_t* o = OBEX_ObjectNew(handle_, static_cast<std::uint8_t>(command));
    obex_headerdata_t id;
    id.bq4 = connectionId_;
    OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_CONNECTION, id, 4, 0);
    return o;
  }

  int add(obex_object_t* o, std::uint8_t header, const void* data, std::size_t n, unsigned flags) {
    obex_headerdata_t v;
    v.bs = static_cast<const std::uint8_t*>(data);
    return OBEX_ObjectAddHeader(handle_, o, header, v, static_cast<std::uint32_t>(n), flags);
  }

  void run(obex_object_t* o) {
    done_ = false;
    if (!o || OBEX_Request(handle_, o) < 0) std::exit(3);
    while (!done_) {
      if (OBEX_Work(handle_) < 0) std::exit(3);
    }
    if (response_ != OBEX_RSP_SUCCESS) std::exit(3);
  }

  static void onEvent(obex_t* h, obex_object_t* o, int, int event, int command, int response) {
    auto* self = static_cast<MinimalClient*>(OBEX_GetUserData(h));
    if (event == OBEX_EV_LINKERR || event == OBEX_EV_PARSEERR || event == OBEX_EV_ABORT) std::exit(3);
    if (event == OBEX_EV_STREAMEMPTY && self->body_) {
      self->add(o, OBEX_HDR_BODY, self->body_->data(), self->body_->size(), OBEX_FL_STREAM_DATAEND);
      self->body_ = nullptr;
    }
    if (event != OBEX_EV_REQDONE) return;
    self->done_ = true;
    self->response_ = response;
    std::uint8_t id = 0;
    obex_headerdata_t value;
    std::uint32_t n = 0;
    while (command == OBEX_CMD_CONNECT && OBEX_ObjectGetNextHeader(h, o, &id, &value, &n)) {
      if (id == OBEX_HDR_CONNECTION) self->connectionId_ = value.bq4;
    }
  }

  int fd_ = -1;
  obex_t* handle_ = nullptr;
  bool done_ = false;
  int response_ = 0;
  std::uint32_t connectionId_ = 0;
  const std::string* body_ = nullptr;  // the file being put, until the library asks for it
};

void mark(MainWindow& form, int upTo) {
  for (int i = 1; i <= Games; ++i) form.catalogue().setMark(i, i <= upTo);
}

// Exits unless the phone's java/ holds the first `count` games byte for byte.
void checkStored(const fs::path& java, const fs::path& games, int count) {
  for (int i = 1; i <= count; ++i) {
    for (const char* ext : {"jar", "jad"}) {
      const std::string suffix = std::string(".") + ext;
      if (readAll(java / (bench::gameFile(i) + "_suite" + suffix)) != readAll(games / (bench::gameFile(i) + suffix))) {
        std::fprintf(stderr, "%s: game %d (%s) not stored as sent\n", java.c_str(), i, ext);
        std::exit(4);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  const fs::path work = bench::scratchFolder("quorrel-bench-cable");
  const fs::path games = work / "Base/games";
  bench::writeGames(games, Games, GameBytes);
  for (const char* phone : {"plugin", "client", "slow", "slowclient"}) fs::create_directories(work / phone / "java");
  using testsupport::PhoneSimulator;
  PhoneSimulator plugin((work / "plugin").string(), PhoneSimulator::Script{});
  PhoneSimulator client((work / "client").string(), PhoneSimulator::Script{});
  PhoneSimulator::Script slowScript;
  slowScript.bytesPerSecond = SerialBytesPerSecond;
  PhoneSimulator slow((work / "slow").string(), slowScript);
  PhoneSimulator slowClient((work / "slowclient").string(), slowScript);
  if (plugin.device().empty() || client.device().empty() || slow.device().empty()) return 2;
  fs::create_directories(work / "config/sghfs");
  fs::create_directories(work / "locks");
  std::ofstream(work / "config/sghfs/ports.ini", std::ios::binary)
      << "COM3=" << plugin.device() << "\r\nCOM4=" << slow.device() << "\r\n";
  ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
  ::setenv("SGHFS_LOCK_DIR", (work / "locks").c_str(), 1);
  ::setenv("SGHFS_PHONES", (work / "phones").c_str(), 1);  // no virtual phones: every port is a cable
  fs::current_path(work);

  std::vector<double> upload;
  std::vector<double> peer;
  std::vector<double> ratio;  // per round: the two runs of a round share the machine's load of the moment
  double slowGame = 0;
  double slowPeer = 0;
  {
    bench::SilentPrompter prompter;
    auto form = createApplicationWindows(&prompter);
    if (!std::getenv("BENCH_HIDDEN")) form->show();
    form->settings().setComPort("COM3");
    form->settings().setComSpeed(115200);
    form->settings().setAutoCompileJava(false);  // a cable phone has no Java list to rebuild
    for (int i = 1; i <= Games; ++i) {
      quorrel::GameEntry game;
      game.file = bench::gameFile(i);
      form->catalogue().setGame(i, game);
    }
    mark(*form, Games);
    form->phone().connectPhone();
    MinimalClient minimal(client.device());
    int serial = 0;
    for (int round = 0; round < Rounds; ++round) {
      bench::freshJavaFolder(work / "plugin", serial);
      bench::freshJavaFolder(work / "client", serial);
      form->clearLog();
      auto start = std::chrono::steady_clock::now();
      form->phone().uploadMarkedGames();
      upload.push_back(bench::msSince(start));
      start = std::chrono::steady_clock::now();
      minimal.session(games, 1, Games);
      peer.push_back(bench::msSince(start));
      ratio.push_back(upload.back() / peer.back());
      for (auto& r : client.requests()) std::fprintf(stderr, "%s\n", r.c_str());
      checkStored(work / "plugin/java", games, Games);
      checkStored(work / "client/java", games, Games);
      QApplication::processEvents();
    }

    // One game at 115200 baud through the window, then through the minimal client.
    form->settings().setComPort("COM4");
    form->phone().connectPhone();
    mark(*form, 1);
    auto start = std::chrono::steady_clock::now();
    form->phone().uploadMarkedGames();
    slowGame = bench::msSince(start) / 1000;
    checkStored(work / "slow/java", games, 1);
    MinimalClient slowMinimal(slowClient.device());
    start = std::chrono::steady_clock::now();
    slowMinimal.session(games, 1, 1);
    slowPeer = bench::msSince(start) / 1000;
    checkStored(work / "slowclient/java", games, 1);
  }
  fs::current_path("/");
  fs::remove_all(work);
  std::printf("upload %.1f client %.1f ratio %.2f game115200 %.2f client115200 %.2f\n", bench::median(upload),
              bench::median(peer), bench::median(ratio), slowGame, slowPeer);
  return 0;
}
