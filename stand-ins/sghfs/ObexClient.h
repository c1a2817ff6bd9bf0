#pragma once
// An OBEX File Transfer session over a serial line already switched to OBEX (after AT+CPROT=0 answered
// CONNECT), on libopenobex's custom transport: the library frames the packets, this class moves them over the
// line, with every wait bounded by the time-out.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "SerialLine.h"

struct obex;
struct obex_object;

namespace cable {

enum class ObexFailure { None, NoAnswer, LineLost, Refused, Aborted, Broken };

class ObexClient {
 public:
  // `pending` holds bytes that arrived after CONNECT and belong to OBEX already.
  ObexClient(SerialLine& line, int timeoutMs, std::string pending = std::string());
  ~ObexClient();
  ObexClient(const ObexClient&) = delete;
  ObexClient& operator=(const ObexClient&) = delete;

  // CONNECT with the Folder Browsing target; learns the connection id and the phone's packet size.
  bool connect();
  // SETPATH into one folder of the current one (never creating it); an empty name goes to the root.
  bool setPath(const std::string& ansiName);
  // GET x-obex/folder-listing of the current folder.
  std::optional<std::string> getListing();
  // PUT of `size` bytes taken from `read` (which fills a buffer and returns the bytes put there, -1 on a read
  // error), sent in packets of the negotiated size; `progress` is told the bytes sent after each packet and
  // answers false to abort.
  bool put(const std::string& ansiName, std::uint64_t size,
           const std::function<long(char* buffer, std::size_t size)>& read,
           const std::function<bool(std::uint64_t sent)>& progress);
  bool disconnect();

  // The first failure of the session; a refused request (Refused) ends only that request, and the next one may
  // still be made (a refused put is followed by the DISCONNECT that ends the session).
  ObexFailure failure() const { return failure_; }
  int response() const { return response_; }  // the phone's last response code
  // The bytes that came after the phone's last packet (after the DISCONNECT reply: the start of the AT
  // reply that tells the phone is back in AT mode).
  const std::string& leftover() const { return pending_; }
  int packetSize() const { return peerMtu_; }

 private:
  static void onEvent(obex* handle, obex_object* object, int mode, int event, int command, int response);
  static int onWrite(obex* handle, void* self, std::uint8_t* data, int size);
  static int onRead(obex* handle, void* self, std::uint8_t* buffer, int need);
  void event(obex_object* object, int event, int command, int response);
  bool run(obex_object* object);
  void addConnectionId(obex_object* object);
  void feedBody(obex_object* object);

  SerialLine& line_;
  int timeoutMs_;
  std::string pending_;
  obex* handle_ = nullptr;
  bool done_ = false;
  ObexFailure failure_ = ObexFailure::None;
  int response_ = 0;
  bool started_ = false;        // the phone's first packet has begun
  std::size_t packetLeft_ = 0;  // bytes of the phone's current packet not yet given to the library
  std::uint32_t connectionId_ = 0;
  bool hasConnectionId_ = false;
  int peerMtu_ = 255;
  std::string body_;
  // The body being put.
  const std::function<long(char*, std::size_t)>* read_ = nullptr;
  const std::function<bool(std::uint64_t)>* progress_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t fed_ = 0;
  std::string chunk_;
};

// A response code as it goes on the wire ("0xCD"), with what it means (UTF-8) for the refusals a phone makes.
std::string describeResponse(int response);

// The Folder Browsing service's target UUID, F9EC7BC4-953C-11D2-984E-525400DC9E09.
extern const unsigned char FolderBrowsingUuid[16];

}  // namespace cable
