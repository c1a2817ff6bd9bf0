#pragma once
// A phone on a pseudo-terminal: the test hands the plugin (or obexftp) the slave side, and a thread of the
// simulator answers on the master side as a cable phone does. AT commands get scripted replies; after
// AT+CPROT=0 it serves OBEX File Transfer (libopenobex in server mode) from a folder of the test, and an OBEX
// DISCONNECT returns it to AT mode with the final OK of AT+CPROT=0.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class PhoneSimulator {
 public:
  struct Script {
    std::string manufacturer = "SAMSUNG";
    std::string model = "SGH-D500";
    std::string serial = "351234567890123";
    bool echo = true;                // echoes what it gets until ATE0, as a phone does after power-on
    bool fragmented = false;         // sends each reply a byte at a time
    int replyDelayMs = 0;            // waits this long before each reply
    bool silent = false;             // never answers
    bool errorToAll = false;         // answers ERROR to everything
    bool unsolicited = false;        // sends "+CREG: 1" and "RING" before each reply
    bool obex = true;                // AT+CPROT=0 answers CONNECT (else ERROR)
    long silentAfterObexBytes = -1;  // stops answering once OBEX mode has taken this many bytes
    long vanishAfterObexBytes = -1;  // closes its side of the line then
    long bytesPerSecond = 0;         // line speed; 0: unlimited
    int mtu = 16384;                 // the packet size it offers
    // Refuses the refusePutNumber-th PUT of the run (counted over all sessions, from 1) at its first packet
    // with this OBEX response code as it goes on the wire (0xCD, 0xE0, ...); 0: refuses none.
    int refusePutCode = 0;
    int refusePutNumber = 1;
    // The final OK of AT+CPROT=0 after an OBEX session: 0 in the same write as the DISCONNECT reply, more
    // than 0 this many ms later in a write of its own, less than 0 never.
    int okAfterObexMs = 0;
    int deafAfterObexMs = 0;  // drops whatever it gets for this long after each OBEX session
  };

  PhoneSimulator(std::string root, Script script);
  ~PhoneSimulator();
  PhoneSimulator(const PhoneSimulator&) = delete;
  PhoneSimulator& operator=(const PhoneSimulator&) = delete;

  const std::string& device() const { return device_; }
  // The AT commands received, in order.
  std::vector<std::string> commands() const;
  // The OBEX requests served, one word each ("connect", "setpath java", "get listing", "put x 123", ...).
  std::vector<std::string> requests() const;
  // Closes the line now, as an unplugged phone.
  void vanish();

 private:
  struct Server;

  void run();
  // Takes AT input; returns the bytes used (less than n once the line switched to OBEX).
  std::size_t atInput(const char* data, std::size_t n);
  void startObex();
  void stopObex();
  void reply(const std::string& text);
  void send(const std::string& bytes);
  void note(std::vector<std::string>& list, const std::string& text);
  // Back in AT mode after a session: the late OK, then the time it does not listen.
  void leaveObex();

  std::string root_;
  Script script_;
  int master_ = -1;
  int slave_ = -1;
  std::string device_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> vanish_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::vector<std::string> requests_;
  std::string line_;
  bool echo_ = true;
  bool inObex_ = false;
  long obexBytes_ = 0;
  bool mute_ = false;
  int putsSeen_ = 0;
  std::chrono::steady_clock::time_point deafUntil_{};
  Server* server_ = nullptr;
  std::thread thread_;
};

}  // namespace testsupport
