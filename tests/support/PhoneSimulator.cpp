#include "support/PhoneSimulator.h"

#include <fcntl.h>
#include <iconv.h>
#include <openobex/obex.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

const unsigned char FolderBrowsing[16] = {0xF9, 0xEC, 0x7B, 0xC4, 0x95, 0x3C, 0x11, 0xD2,
                                          0x98, 0x4E, 0x52, 0x54, 0x00, 0xDC, 0x9E, 0x09};
const std::uint32_t ConnectionId = 0x51;

std::string utf16beToUtf8(const std::uint8_t* data, std::size_t n) {
  iconv_t cd = iconv_open("UTF-8", "UTF-16BE");
  std::string out(n * 2 + 4, '\0');
  char* src = reinterpret_cast<char*>(const_cast<std::uint8_t*>(data));
  char* dst = out.data();
  std::size_t left = n, room = out.size();
  iconv(cd, &src, &left, &dst, &room);
  iconv_close(cd);
  out.resize(out.size() - room);
  while (!out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

std::string xmlEscape(const std::string& s) {
  std::string out;
  for (const char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

bool safeName(const std::string& n) { return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos; }

}  // namespace

struct PhoneSimulator::Server {
  PhoneSimulator* owner = nullptr;
  obex_t* handle = nullptr;
  fs::path cwd;
  bool finished = false;
  bool disconnecting = false;  // the next write is the DISCONNECT reply
  std::string body;            // kept alive while a GET response goes out
  std::string inbox;           // what came from the line and the library has not taken yet
  std::size_t bodyAt = 0;

  void feedBody(obex_object_t* obj) {
    const std::size_t n =
        std::min<std::size_t>(body.size() - bodyAt, static_cast<std::size_t>(owner->script_.mtu - 16));
    obex_headerdata_t b;
    b.bs = reinterpret_cast<const std::uint8_t*>(body.data() + bodyAt);
    bodyAt += n;
    OBEX_ObjectAddHeader(handle, obj, OBEX_HDR_BODY, b, static_cast<std::uint32_t>(n),
                         bodyAt >= body.size() ? OBEX_FL_STREAM_DATAEND : OBEX_FL_STREAM_DATA);
  }

  static int read(obex_t*, void* data, std::uint8_t* buf, int) {
    auto* self = static_cast<Server*>(data);
    const std::size_t n = std::min<std::size_t>(self->inbox.size(), 65535);
    std::memcpy(buf, self->inbox.data(), n);
    self->inbox.erase(0, n);
    return static_cast<int>(n);
  }

  void respond(obex_object_t* obj, int rsp) { OBEX_ObjectSetRsp(obj, rsp, rsp); }

  std::string listing() const {
    std::ostringstream x;
    x << "<?xml version=\"1.0\"?>\n<!DOCTYPE folder-listing SYSTEM \"obex-folder-listing.dtd\">\n"
      << "<folder-listing version=\"1.0\">\n";
    if (cwd != fs::path(owner->root_)) x << "  <parent-folder/>\n";
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(cwd, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& e : entries) {
      const std::string n = xmlEscape(e.path().filename().string());
      if (e.is_directory(ec)) {
        x << "  <folder name=\"" << n << "\"/>\n";
      } else {
        struct stat st {};
        ::stat(e.path().c_str(), &st);
        char when[32];
        std::strftime(when, sizeof when, "%Y%m%dT%H%M%SZ", std::gmtime(&st.st_mtime));
        x << "  <file name=\"" << n << "\" size=\"" << st.st_size << "\" modified=\"" << when << "\"/>\n";
      }
    }
    x << "</folder-listing>\n";
    return x.str();
  }

  void request(obex_object_t* obj, int cmd) {
    std::uint8_t hi = 0;
    obex_headerdata_t hv;
    std::uint32_t len = 0;
    std::string name, type;
    bool hasName = false;
    std::string content;
    bool hasBody = false;
    bool target = false;
    while (OBEX_ObjectGetNextHeader(handle, obj, &hi, &hv, &len)) {
      if (hi == OBEX_HDR_NAME) {
        hasName = true;
        name = utf16beToUtf8(hv.bs, len);
      } else if (hi == OBEX_HDR_TYPE) {
        type.assign(reinterpret_cast<const char*>(hv.bs), len);
        while (!type.empty() && type.back() == '\0') type.pop_back();
      } else if (hi == OBEX_HDR_BODY || hi == OBEX_HDR_BODY_END) {
        hasBody = true;
        if (len > 0) content.append(reinterpret_cast<const char*>(hv.bs), len);
      } else if (hi == OBEX_HDR_TARGET) {
        target = len == 16 && std::memcmp(hv.bs, FolderBrowsing, 16) == 0;
      }
    }
    std::error_code ec;
    switch (cmd) {
      case OBEX_CMD_CONNECT:
        owner->note(owner->requests_, target ? "connect" : "connect without target");
        if (target) {
          obex_headerdata_t w;
          w.bs = FolderBrowsing;
          OBEX_ObjectAddHeader(handle, obj, OBEX_HDR_WHO, w, 16, 0);
          obex_headerdata_t id;
          id.bq4 = ConnectionId;
          OBEX_ObjectAddHeader(handle, obj, OBEX_HDR_CONNECTION, id, 4, 0);
        }
        respond(obj, OBEX_RSP_SUCCESS);
        break;
      case OBEX_CMD_SETPATH: {
        std::uint8_t* info = nullptr;
        const int n = OBEX_ObjectGetNonHdrData(obj, &info);
        const std::uint8_t flags = n >= 1 && info ? info[0] : 0;
        owner->note(owner->requests_, "setpath " + name);
        if (flags & 0x01) {
          if (cwd != fs::path(owner->root_)) cwd = cwd.parent_path();
          respond(obj, OBEX_RSP_SUCCESS);
        } else if (!hasName || name.empty()) {
          cwd = owner->root_;
          respond(obj, OBEX_RSP_SUCCESS);
        } else if (!safeName(name)) {
          respond(obj, OBEX_RSP_FORBIDDEN);
        } else if (fs::is_directory(cwd / name, ec)) {
          cwd /= name;
          respond(obj, OBEX_RSP_SUCCESS);
        } else if (!(flags & 0x02) && fs::create_directory(cwd / name, ec)) {
          cwd /= name;
          respond(obj, OBEX_RSP_SUCCESS);
        } else {
          respond(obj, OBEX_RSP_NOT_FOUND);
        }
        break;
      }
      case OBEX_CMD_GET: {
        fs::path folder = cwd;
        if (type == "x-obex/folder-listing") {
          owner->note(owner->requests_, "get listing " + name);
          if (hasName && !name.empty()) {
            if (!safeName(name) || !fs::is_directory(cwd / name, ec)) {
              respond(obj, OBEX_RSP_NOT_FOUND);
              break;
            }
            const fs::path keep = cwd;
            cwd /= name;
            body = listing();
            cwd = keep;
          } else {
            body = listing();
          }
        } else {
          owner->note(owner->requests_, "get " + name);
          std::ifstream in(cwd / name, std::ios::binary);
          if (!safeName(name) || !in) {
            respond(obj, OBEX_RSP_NOT_FOUND);
            break;
          }
          std::ostringstream s;
          s << in.rdbuf();
          body = s.str();
        }
        // Sent as a stream, so that the last piece goes as End-of-Body, as phones send it.
        bodyAt = 0;
        obex_headerdata_t none;
        none.bs = nullptr;
        OBEX_ObjectAddHeader(handle, obj, OBEX_HDR_BODY, none, 0, OBEX_FL_STREAM_START);
        OBEX_ObjectSetRsp(obj, OBEX_RSP_CONTINUE, OBEX_RSP_SUCCESS);
        break;
      }
      case OBEX_CMD_PUT:
        owner->note(owner->requests_, "put " + name + " " + std::to_string(content.size()));
        if (!safeName(name)) {
          respond(obj, OBEX_RSP_FORBIDDEN);
        } else if (!hasBody) {
          fs::remove(cwd / name, ec);
          respond(obj, OBEX_RSP_SUCCESS);
        } else {
          std::ofstream out(cwd / name, std::ios::binary | std::ios::trunc);
          out.write(content.data(), static_cast<std::streamsize>(content.size()));
          respond(obj, out.flush() ? OBEX_RSP_SUCCESS : OBEX_RSP_INTERNAL_SERVER_ERROR);
        }
        break;
      case OBEX_CMD_DISCONNECT:
        owner->note(owner->requests_, "disconnect");
        disconnecting = true;
        respond(obj, OBEX_RSP_SUCCESS);
        break;
      default:
        respond(obj, OBEX_RSP_NOT_IMPLEMENTED);
        break;
    }
  }

  static void event(obex_t* h, obex_object_t* obj, int, int ev, int cmd, int) {
    auto* self = static_cast<Server*>(OBEX_GetUserData(h));
    switch (ev) {
      case OBEX_EV_REQHINT:
        if (cmd == OBEX_CMD_PUT && ++self->owner->putsSeen_ == self->owner->script_.refusePutNumber &&
            self->owner->script_.refusePutCode != 0) {
          // Refused at its first packet, as a phone that looks at the name and length before taking the body.
          const int code = self->owner->script_.refusePutCode & 0x7F;
          char text[32];
          std::snprintf(text, sizeof text, "refuse put 0x%02X", self->owner->script_.refusePutCode);
          self->owner->note(self->owner->requests_, text);
          OBEX_ObjectSetRsp(obj, code, code);
          break;
        }
        OBEX_ObjectSetRsp(obj, OBEX_RSP_CONTINUE, OBEX_RSP_SUCCESS);
        break;
      case OBEX_EV_REQ:
        self->request(obj, cmd);
        break;
      case OBEX_EV_STREAMEMPTY:
        self->feedBody(obj);
        break;
      case OBEX_EV_REQDONE:
        if (cmd == OBEX_CMD_DISCONNECT) self->finished = true;
        break;
      case OBEX_EV_LINKERR:
      case OBEX_EV_PARSEERR:
        self->finished = true;
        break;
      default:
        break;
    }
  }

  static int write(obex_t*, void* data, std::uint8_t* buf, int len) {
    auto* self = static_cast<Server*>(data);
    std::string bytes(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(len));
    if (self->disconnecting && self->owner->script_.okAfterObexMs == 0) bytes += "\r\nOK\r\n";
    self->disconnecting = false;
    self->owner->send(bytes);
    return len;
  }
};

PhoneSimulator::PhoneSimulator(std::string root, Script script) : root_(std::move(root)), script_(std::move(script)) {
  echo_ = script_.echo;
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
  termios t{};
  ::tcgetattr(slave_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave_, TCSANOW, &t);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  device_ = name;
  thread_ = std::thread([this] { run(); });
}

PhoneSimulator::~PhoneSimulator() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

std::vector<std::string> PhoneSimulator::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<std::string> PhoneSimulator::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void PhoneSimulator::note(std::vector<std::string>& list, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  list.push_back(text);
}

void PhoneSimulator::vanish() { vanish_ = true; }

void PhoneSimulator::send(const std::string& bytes) {
  if (mute_ || master_ < 0) return;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 100);
      if (stop_) return;
    } else {
      return;
    }
  }
}

void PhoneSimulator::reply(const std::string& text) {
  if (script_.replyDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(script_.replyDelayMs));
  std::string out;
  if (script_.unsolicited) out += "\r\n+CREG: 1\r\n\r\nRING\r\n";
  out += text;
  if (!script_.fragmented) {
    send(out);
    return;
  }
  for (const char c : out) {
    send(std::string(1, c));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::size_t PhoneSimulator::atInput(const char* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const char c = data[i];
    if (echo_ && !script_.silent) send(std::string(1, c));
    if (c == '\n') continue;
    if (c != '\r') {
      line_ += c;
      continue;
    }
    std::string cmd;
    cmd.swap(line_);
    while (!cmd.empty() && std::isspace(static_cast<unsigned char>(cmd.front()))) cmd.erase(cmd.begin());
    if (cmd.empty()) continue;
    note(commands_, cmd);
    if (script_.silent) continue;
    std::string u = cmd;
    for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    auto info = [&](const std::string& value) { reply("\r\n" + value + "\r\n\r\nOK\r\n"); };
    if (script_.errorToAll) {
      reply("\r\nERROR\r\n");
    } else if (u == "ATE0" || u == "ATE1") {
      echo_ = u == "ATE1";
      reply("\r\nOK\r\n");
    } else if (u == "AT" || u == "ATZ" || u == "AT&F") {
      reply("\r\nOK\r\n");
    } else if (u == "AT+CGMI" || u == "AT+GMI") {
      info(script_.manufacturer);
    } else if (u == "AT+CGMM" || u == "AT+GMM") {
      info(script_.model);
    } else if (u == "AT+CGSN" || u == "AT+GSN") {
      info(script_.serial);
    } else if (u == "AT+CPROT=0" && script_.obex) {
      reply("\r\nCONNECT\r\n");
      inObex_ = true;
      return i + 1;  // the rest of this read already belongs to OBEX
    } else {
      reply("\r\nERROR\r\n");
    }
  }
  return n;
}

void PhoneSimulator::run() {
  std::vector<char> buffer(65536);
  // When the throttled line has taken the bytes read so far. A line that stood idle does not save up time:
  // the next bytes take their full time from when they come.
  auto lineFreeAt = std::chrono::steady_clock::now();
  while (!stop_) {
    if (vanish_) {
      ::close(master_);
      master_ = -1;
      return;
    }
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const ssize_t got = ::read(master_, buffer.data(), buffer.size());
    if (got <= 0) {
      // Nobody holds the slave side: wait for the next open.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (mute_ || std::chrono::steady_clock::now() < deafUntil_) continue;
    if (script_.bytesPerSecond > 0) {
      lineFreeAt = std::max(lineFreeAt, std::chrono::steady_clock::now()) +
                   std::chrono::microseconds(static_cast<long long>(got) * 1000000 / script_.bytesPerSecond);
      std::this_thread::sleep_until(lineFreeAt);
    }
    std::size_t at = 0;
    const auto n = static_cast<std::size_t>(got);
    while (at < n && !mute_ && master_ >= 0) {
      if (!inObex_) {
        at += atInput(buffer.data() + at, n - at);
        if (inObex_) startObex();
        continue;
      }
      const std::size_t take = n - at;
      obexBytes_ += static_cast<long>(take);
      if (script_.vanishAfterObexBytes >= 0 && obexBytes_ >= script_.vanishAfterObexBytes) {
        ::close(master_);
        master_ = -1;
        return;
      }
      if (script_.silentAfterObexBytes >= 0 && obexBytes_ >= script_.silentAfterObexBytes) {
        mute_ = true;
        break;
      }
      server_->inbox.append(buffer.data() + at, take);
      at = n;
      // The library takes input through the read callback and answers through the write callback.
      for (int turns = 0; turns < 10000 && !server_->finished; ++turns) {
        if (server_->inbox.empty() && OBEX_GetDataDirection(server_->handle) != OBEX_DATA_OUT) break;
        if (OBEX_Work(server_->handle) < 0) break;
      }
      if (server_->finished) {
        stopObex();
        leaveObex();
      }
    }
  }
  if (server_) stopObex();
}

void PhoneSimulator::startObex() {
  obexBytes_ = 0;
  server_ = new Server;
  server_->owner = this;
  server_->cwd = root_;
  server_->handle = OBEX_Init(OBEX_TRANS_CUSTOM, &Server::event, 0);
  OBEX_SetUserData(server_->handle, server_);
  obex_ctrans_t t{};
  t.connect = [](obex_t*, void*) { return 0; };
  t.disconnect = [](obex_t*, void*) { return 0; };
  t.listen = [](obex_t*, void*) { return 0; };
  t.write = &Server::write;
  t.read = &Server::read;
  t.handleinput = [](obex_t*, void*, int) { return 1; };
  t.customdata = server_;
  OBEX_RegisterCTransport(server_->handle, &t);
  OBEX_SetTransportMTU(server_->handle, static_cast<std::uint16_t>(script_.mtu),
                       static_cast<std::uint16_t>(script_.mtu));
  OBEX_ServerRegister(server_->handle, nullptr, 0);
}

void PhoneSimulator::leaveObex() {
  if (script_.okAfterObexMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(script_.okAfterObexMs));
    send("\r\nOK\r\n");
  }
  if (script_.deafAfterObexMs > 0) {
    deafUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(script_.deafAfterObexMs);
  }
}

void PhoneSimulator::stopObex() {
  OBEX_Cleanup(server_->handle);
  delete server_;
  server_ = nullptr;
  inObex_ = false;
}

}  // namespace testsupport
