#include "ObexClient.h"

#include <openobex/obex.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Codepage.h"

namespace cable {

const unsigned char FolderBrowsingUuid[16] = {0xF9, 0xEC, 0x7B, 0xC4, 0x95, 0x3C, 0x11, 0xD2,
                                              0x98, 0x4E, 0x52, 0x54, 0x00, 0xDC, 0x9E, 0x09};

namespace {

// The packet size offered to the phone; it answers with its own, and the smaller one is used.
constexpr int OwnMtu = 32767;
// Room for the packet's own header, the connection id and the body header in every packet of a put.
constexpr int PacketOverhead = 3 + 5 + 3;

obex_headerdata_t bytes(const void* p) {
  obex_headerdata_t hv;
  hv.bs = static_cast<const uint8_t*>(p);
  return hv;
}

obex_headerdata_t number(std::uint32_t v) {
  obex_headerdata_t hv;
  hv.bq4 = v;
  return hv;
}

// A NAME header's value: UTF-16BE with a terminating NUL; an empty name is an empty header.
std::string unicodeName(const std::string& ansi) {
  if (ansi.empty()) return std::string();
  return sghfs::ansiToUtf16be(ansi) + std::string(2, '\0');
}

}  // namespace

std::string describeResponse(int response) {
  const int code = response | OBEX_FINAL;
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", code);
  const char* meaning = nullptr;
  switch (code & ~OBEX_FINAL) {
    case OBEX_RSP_BAD_REQUEST:
      meaning = "неверный запрос";
      break;
    case OBEX_RSP_UNAUTHORIZED:
    case OBEX_RSP_FORBIDDEN:
      meaning = "нет доступа";
      break;
    case OBEX_RSP_NOT_FOUND:
      meaning = "нет такой папки";
      break;
    case OBEX_RSP_REQ_ENTITY_TOO_LARGE:
      meaning = "файл слишком велик";
      break;
    case OBEX_RSP_UNSUPPORTED_MEDIA_TYPE:
      meaning = "такие файлы не принимаются";
      break;
    case OBEX_RSP_SERVICE_UNAVAILABLE:
    case OBEX_RSP_DATABASE_LOCKED:
      meaning = "телефон занят";
      break;
    case OBEX_RSP_DATABASE_FULL:
      meaning = "память телефона заполнена";
      break;
    default:
      break;
  }
  return meaning ? std::string(text) + ", " + meaning : std::string(text);
}

ObexClient::ObexClient(SerialLine& line, int timeoutMs, std::string pending)
    : line_(line), timeoutMs_(timeoutMs), pending_(std::move(pending)) {
  handle_ = OBEX_Init(OBEX_TRANS_CUSTOM, &ObexClient::onEvent, 0);
  if (!handle_) return;
  OBEX_SetUserData(handle_, this);
  obex_ctrans_t transport{};
  transport.connect = [](obex_t*, void*) { return 0; };
  transport.disconnect = [](obex_t*, void*) { return 0; };
  transport.listen = [](obex_t*, void*) { return -1; };
  transport.write = &ObexClient::onWrite;
  transport.read = &ObexClient::onRead;
  // The library wants this one too, though it reads through onRead.
  transport.handleinput = [](obex_t*, void*, int) { return 1; };
  transport.customdata = this;
  const int r1 = OBEX_RegisterCTransport(handle_, &transport);
  const int r2 = OBEX_SetTransportMTU(handle_, OwnMtu, OwnMtu);
  const int r3 = OBEX_TransportConnect(handle_, nullptr, 0);
  if (r1 < 0 || r2 < 0 || r3 < 0) {
    OBEX_Cleanup(handle_);
    handle_ = nullptr;
  }
}

ObexClient::~ObexClient() {
  if (handle_) OBEX_Cleanup(handle_);
}

void ObexClient::onEvent(obex_t* handle, obex_object_t* object, int, int event, int command, int response) {
  static_cast<ObexClient*>(OBEX_GetUserData(handle))->event(object, event, command, response);
}

int ObexClient::onWrite(obex_t*, void* self, uint8_t* data, int size) {
  auto* c = static_cast<ObexClient*>(self);
  if (size < 0 ||
      !c->line_.writeAll(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size), c->timeoutMs_)) {
    if (c->failure_ == ObexFailure::None) c->failure_ = ObexFailure::LineLost;
    return -1;
  }
  return size;
}

// Gives the library the phone's next bytes, waiting for them at most the time-out. `buffer` has room for our
// packet size; the library needs at least `need` bytes to go on, and takes fewer as a wait to be repeated.
// Nothing past the end of the phone's current packet is given: after the last one, what follows on the line
// belongs to AT mode again and stays in `pending_`.
int ObexClient::onRead(obex_t*, void* self, uint8_t* buffer, int need) {
  auto* c = static_cast<ObexClient*>(self);
  while (true) {
    // Line ends left over from the AT reply that switched the line come before the first packet; no OBEX
    // response starts with them.
    if (!c->started_) {
      c->pending_.erase(0, c->pending_.find_first_not_of("\r\n"));
      c->started_ = !c->pending_.empty();
    }
    // A new packet is taken once its length (bytes 2 and 3) is in.
    if (c->packetLeft_ > 0 ? !c->pending_.empty() : c->pending_.size() >= 3) break;
    char data[OwnMtu];
    const long n = c->line_.readSome(data, sizeof data, c->timeoutMs_);
    if (n <= 0) {
      if (c->failure_ == ObexFailure::None) c->failure_ = n == 0 ? ObexFailure::NoAnswer : ObexFailure::LineLost;
      return -1;
    }
    c->pending_.append(data, static_cast<std::size_t>(n));
  }
  (void)need;
  if (c->packetLeft_ == 0) {
    const auto length = static_cast<std::size_t>((static_cast<unsigned char>(c->pending_[1]) << 8) |
                                                 static_cast<unsigned char>(c->pending_[2]));
    c->packetLeft_ = std::max<std::size_t>(length, 3);  // a shorter length is the library's to reject
  }
  const std::size_t n = std::min({c->pending_.size(), c->packetLeft_, static_cast<std::size_t>(OwnMtu)});
  std::memcpy(buffer, c->pending_.data(), n);
  c->pending_.erase(0, n);
  c->packetLeft_ -= n;
  return static_cast<int>(n);
}

void ObexClient::feedBody(obex_object_t* object) {
  // Each call fills one packet: the library asks again once the previous piece has gone out.
  if (fed_ > 0 && progress_ && !(*progress_)(fed_)) {
    failure_ = ObexFailure::Aborted;
    OBEX_CancelRequest(handle_, 1);
    return;
  }
  const std::size_t room = static_cast<std::size_t>(std::max(peerMtu_ - PacketOverhead, 1));
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(room, size_ - fed_));
  chunk_.resize(want);
  long got = 0;
  while (static_cast<std::size_t>(got) < want) {
    const long n = (*read_)(&chunk_[static_cast<std::size_t>(got)], want - static_cast<std::size_t>(got));
    if (n <= 0) break;
    got += n;
  }
  if (static_cast<std::size_t>(got) < want) {
    // The file shrank or could not be read: the phone must not keep a cut copy.
    failure_ = ObexFailure::Broken;
    OBEX_CancelRequest(handle_, 1);
    return;
  }
  fed_ += want;
  const bool last = fed_ >= size_;
  OBEX_ObjectAddHeader(handle_, object, OBEX_HDR_BODY, bytes(chunk_.data()), static_cast<uint32_t>(want),
                       last ? OBEX_FL_STREAM_DATAEND : OBEX_FL_STREAM_DATA);
}

void ObexClient::event(obex_object_t* object, int event, int command, int response) {
  switch (event) {
    case OBEX_EV_STREAMEMPTY:
      if (read_) feedBody(object);
      break;
    case OBEX_EV_STREAMAVAIL: {
      const uint8_t* data = nullptr;
      const int n = OBEX_ObjectReadStream(handle_, object, &data);
      if (n > 0 && data) body_.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(n));
      break;
    }
    case OBEX_EV_REQDONE: {
      done_ = true;
      response_ = response;
      if (command == OBEX_CMD_CONNECT && response == OBEX_RSP_SUCCESS) {
        uint8_t* info = nullptr;
        if (OBEX_ObjectGetNonHdrData(object, &info) == 4 && info) {
          peerMtu_ = std::clamp((info[2] << 8) | info[3], 255, OwnMtu);
        }
      }
      uint8_t id = 0;
      obex_headerdata_t value;
      uint32_t length = 0;
      while (OBEX_ObjectGetNextHeader(handle_, object, &id, &value, &length)) {
        if (command == OBEX_CMD_CONNECT && id == OBEX_HDR_CONNECTION) {
          connectionId_ = value.bq4;
          hasConnectionId_ = true;
        } else if ((id == OBEX_HDR_BODY || id == OBEX_HDR_BODY_END) && value.bs && length > 0) {
          body_.append(reinterpret_cast<const char*>(value.bs), length);
        }
      }
      break;
    }
    case OBEX_EV_LINKERR:
      done_ = true;
      if (failure_ == ObexFailure::None) failure_ = ObexFailure::LineLost;
      break;
    case OBEX_EV_PARSEERR:
      done_ = true;
      if (failure_ == ObexFailure::None) failure_ = ObexFailure::Broken;
      break;
    case OBEX_EV_ABORT:
      done_ = true;
      if (failure_ == ObexFailure::None) failure_ = ObexFailure::Aborted;
      break;
    default:
      break;
  }
}

bool ObexClient::run(obex_object_t* object) {
  if (!object) return false;
  done_ = false;
  response_ = 0;
  body_.clear();
  if (failure_ == ObexFailure::Refused) failure_ = ObexFailure::None;  // it ended its own request only
  if (failure_ != ObexFailure::None) {
    OBEX_ObjectDelete(handle_, object);
    return false;
  }
  if (OBEX_Request(handle_, object) < 0) {
    OBEX_ObjectDelete(handle_, object);
    failure_ = ObexFailure::Broken;
    return false;
  }
  while (!done_ && failure_ == ObexFailure::None) {
    const int r = OBEX_Work(handle_);
    if (r < 0 && failure_ == ObexFailure::None) failure_ = ObexFailure::Broken;
  }
  if (failure_ != ObexFailure::None) return false;
  if (response_ != OBEX_RSP_SUCCESS) {
    failure_ = ObexFailure::Refused;
    return false;
  }
  return true;
}

void ObexClient::addConnectionId(obex_object_t* object) {
  if (hasConnectionId_) OBEX_ObjectAddHeader(handle_, object, OBEX_HDR_CONNECTION, number(connectionId_), 4, 0);
}

bool ObexClient::connect() {
  if (!handle_) {
    failure_ = ObexFailure::Broken;
    return false;
  }
  obex_object_t* o = OBEX_ObjectNew(handle_, OBEX_CMD_CONNECT);
  if (o) OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_TARGET, bytes(FolderBrowsingUuid), 16, OBEX_FL_FIT_ONE_PACKET);
  return run(o);
}

bool ObexClient::setPath(const std::string& ansiName) {
  obex_object_t* o = OBEX_ObjectNew(handle_, OBEX_CMD_SETPATH);
  if (!o) return false;
  // Flags: bit 1, do not create the folder; no constants.
  const uint8_t info[2] = {0x02, 0x00};
  OBEX_ObjectSetNonHdrData(o, info, 2);
  addConnectionId(o);
  const std::string name = unicodeName(ansiName);
  OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_NAME, bytes(name.data()), static_cast<uint32_t>(name.size()), 0);
  return run(o);
}

std::optional<std::string> ObexClient::getListing() {
  obex_object_t* o = OBEX_ObjectNew(handle_, OBEX_CMD_GET);
  if (!o) return std::nullopt;
  addConnectionId(o);
  static const char type[] = "x-obex/folder-listing";
  OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_TYPE, bytes(type), sizeof type, 0);
  // The listing comes as a stream, piece by piece, whatever the number of packets.
  OBEX_ObjectReadStream(handle_, o, nullptr);
  if (!run(o)) return std::nullopt;
  return body_;
}

bool ObexClient::put(const std::string& ansiName, std::uint64_t size,
                     const std::function<long(char*, std::size_t)>& read,
                     const std::function<bool(std::uint64_t)>& progress) {
  if (size > 0xFFFFFFFFull) {
    failure_ = ObexFailure::Broken;
    return false;
  }
  obex_object_t* o = OBEX_ObjectNew(handle_, OBEX_CMD_PUT);
  if (!o) return false;
  addConnectionId(o);
  const std::string name = unicodeName(ansiName);
  OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_NAME, bytes(name.data()), static_cast<uint32_t>(name.size()), 0);
  OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_LENGTH, number(static_cast<uint32_t>(size)), 4, 0);
  read_ = &read;
  progress_ = &progress;
  size_ = size;
  fed_ = 0;
  OBEX_ObjectAddHeader(handle_, o, OBEX_HDR_BODY, bytes(nullptr), 0, OBEX_FL_STREAM_START);
  const bool ok = run(o);
  read_ = nullptr;
  progress_ = nullptr;
  if (ok && fed_ > 0) progress(fed_);
  return ok;
}

bool ObexClient::disconnect() {
  obex_object_t* o = OBEX_ObjectNew(handle_, OBEX_CMD_DISCONNECT);
  if (o) addConnectionId(o);
  return run(o);
}

}  // namespace cable
