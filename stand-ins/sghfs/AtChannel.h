#pragma once
// The AT layer: one command at a time, its reply read up to the final result code.
#include <cstddef>
#include <string>
#include <vector>

#include "SerialLine.h"

namespace cable {

// Collects a phone's reply to one command from the bytes as they arrive, in pieces of any size. Lines end at
// CR or LF; empty lines, the echo of the command and unsolicited lines ("RING", "+CREG: 1" and other "+NAME:"
// or "^NAME:" lines of a command other than this one) are skipped. The reply ends with its final result code:
// OK, ERROR, +CME ERROR: n, +CMS ERROR: n, CONNECT (the line then carries another protocol), NO CARRIER, BUSY,
// NO ANSWER, NO DIALTONE. What the reply keeps is capped so that its text always fits `limit` characters.
class AtReplyReader {
 public:
  explicit AtReplyReader(const std::string& command, std::size_t limit = 65535);

  // Takes bytes; returns how many it used. Once the final line is in it takes no more, so the bytes after it
  // (the first bytes of another protocol after CONNECT) stay with the caller.
  std::size_t feed(const char* data, std::size_t size);
  bool done() const { return done_; }
  const std::string& finalCode() const { return final_; }
  // OK or CONNECT.
  bool succeeded() const;
  const std::vector<std::string>& lines() const { return lines_; }
  // The reply as a phone formats it: the information lines, each followed by CR LF, an empty line, then the
  // final result code and CR LF (just the final line when there is no information). At most `limit` bytes.
  std::string text() const;

 private:
  void endLine();
  bool unsolicited(const std::string& line) const;

  std::string echo_;
  std::string name_;  // "+CGMI" for "AT+CGMI", empty for a basic command
  std::size_t limit_;
  std::string line_;
  std::vector<std::string> lines_;
  std::size_t kept_ = 0;
  std::string final_;
  bool done_ = false;
};

enum class AtStatus { Answered, NoAnswer, LineLost };

struct AtResult {
  AtStatus status = AtStatus::NoAnswer;
  bool ok = false;        // the final result code was OK or CONNECT
  std::string finalCode;  // empty without an answer
  std::string text;       // the reply as AtReplyReader::text()
  std::string leftover;   // bytes that came after the final line
};

// Sends one command (a CR is added; anything from the first CR or LF of `command` on is dropped) and reads the
// reply; waits at most timeoutMs for each piece of it and timeoutMs * 4 in all.
AtResult runAtCommand(SerialLine& line, const std::string& command, int timeoutMs);

// Reads a reply into `reader`: first the bytes already taken from the line (`pending`), then from the line,
// waiting at most timeoutMs for each piece and timeoutMs * 4 in all.
AtResult readReply(SerialLine& line, AtReplyReader& reader, const std::string& pending, int timeoutMs);

// Makes sure the phone listens, for a phone that takes no commands for a moment after leaving OBEX mode: sends
// "AT" until a final result code comes back, waiting 10 ms for it after the first and twice as long after each
// unanswered one, at most timeoutMs in all. A probe that the phone heard but answered late leaves an OK on the
// line, so only a command that expects that (enterObexMode) may follow.
AtResult wakePhone(SerialLine& line, int timeoutMs);

// Sends AT+CPROT=0 once and reads its answer: CONNECT (ok; the leftover is the start of OBEX) or another final
// code. A lone OK before it is the late answer to a probe or the late end of an earlier session and is passed
// over; it counts as the answer only when nothing follows it within timeoutMs. Never sent twice: a phone that
// heard the first one is in OBEX mode, where a second would be taken for a packet.
AtResult enterObexMode(SerialLine& line, int timeoutMs);

}  // namespace cable
