#include "AtChannel.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "FindListings.h"

namespace cable {

namespace {

const char* const FinalCodes[] = {"OK", "ERROR", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE"};

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool isFinal(const std::string& line) {
  for (const char* code : FinalCodes) {
    if (line == code) return true;
  }
  return startsWith(line, "+CME ERROR") || startsWith(line, "+CMS ERROR") || line == "CONNECT" ||
         startsWith(line, "CONNECT ");
}

AtResult answered(const AtReplyReader& reader, std::string leftover) {
  AtResult result;
  result.status = AtStatus::Answered;
  result.ok = reader.succeeded();
  result.finalCode = reader.finalCode();
  result.text = reader.text();
  result.leftover = std::move(leftover);
  return result;
}

AtResult failed(AtStatus status) {
  AtResult result;
  result.status = status;
  return result;
}

}  // namespace

AtReplyReader::AtReplyReader(const std::string& command, std::size_t limit)
    : echo_(sghfs::upperAscii(command)), limit_(limit) {
  if (startsWith(echo_, "AT") && echo_.size() > 2 && (echo_[2] == '+' || echo_[2] == '^' || echo_[2] == '*')) {
    const std::size_t end = echo_.find_first_of("=?:", 3);
    name_ = echo_.substr(2, end == std::string::npos ? std::string::npos : end - 2);
  }
}

bool AtReplyReader::succeeded() const { return final_ == "OK" || startsWith(final_, "CONNECT"); }

bool AtReplyReader::unsolicited(const std::string& line) const {
  const std::string u = sghfs::upperAscii(line);
  if (u == echo_ || u == "RING") return true;
  if (!u.empty() && (u[0] == '+' || u[0] == '^' || u[0] == '*')) {
    const std::size_t colon = u.find(':');
    const std::string name = colon == std::string::npos ? u : u.substr(0, colon);
    return name_.empty() || name != name_;
  }
  return false;
}

void AtReplyReader::endLine() {
  std::string line;
  line.swap(line_);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  if (line.empty()) return;
  if (isFinal(line)) {
    final_ = line;
    done_ = true;
    return;
  }
  if (unsolicited(line)) return;
  // Room is kept for the final line (at most the longest code and a number), the empty line and the breaks.
  if (kept_ + line.size() + 2 + 64 > limit_) return;
  kept_ += line.size() + 2;
  lines_.push_back(std::move(line));
}

std::size_t AtReplyReader::feed(const char* data, std::size_t size) {
  std::size_t i = 0;
  while (i < size && !done_) {
    const char c = data[i++];
    if (c == '\r' || c == '\n') {
      endLine();
      // The LF of the final line's CR LF is its own, not the start of what follows.
      if (done_ && c == '\r' && i < size && data[i] == '\n') ++i;
    } else if (c != '\0' && line_.size() < limit_) {
      line_ += c;
    }
  }
  return i;
}

std::string AtReplyReader::text() const {
  std::string out;
  for (const std::string& l : lines_) out += l + "\r\n";
  if (!lines_.empty()) out += "\r\n";
  std::string last = final_.substr(0, 60);
  out += last + "\r\n";
  if (out.size() > limit_) out.resize(limit_);
  return out;
}

AtResult readReply(SerialLine& line, AtReplyReader& reader, const std::string& pending, int timeoutMs) {
  std::string leftover;
  std::size_t used = reader.feed(pending.data(), pending.size());
  if (reader.done()) leftover = pending.substr(used);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs) * 4;
  char buffer[512];
  while (!reader.done()) {
    const long n = line.readSome(buffer, sizeof buffer, timeoutMs);
    if (n < 0) return failed(AtStatus::LineLost);
    if (n == 0 || std::chrono::steady_clock::now() > deadline) return failed(AtStatus::NoAnswer);
    used = reader.feed(buffer, static_cast<std::size_t>(n));
    if (reader.done()) leftover.assign(buffer + used, static_cast<std::size_t>(n) - used);
  }
  return answered(reader, std::move(leftover));
}

AtResult runAtCommand(SerialLine& line, const std::string& command, int timeoutMs) {
  const std::string cmd = command.substr(0, command.find_first_of("\r\n"));
  line.discardInput();
  const std::string sent = cmd + "\r";
  if (!line.writeAll(sent.data(), sent.size(), timeoutMs)) return failed(AtStatus::LineLost);
  AtReplyReader reader(cmd);
  return readReply(line, reader, std::string(), timeoutMs);
}

AtResult wakePhone(SerialLine& line, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // One reader for all the probes: an answer may begin before one probe's wait ends and finish after it.
  AtReplyReader reader("AT");
  auto waitFor = std::chrono::milliseconds(10);
  char buffer[512];
  line.discardInput();
  while (!reader.done()) {
    if (!line.writeAll("AT\r", 3, timeoutMs)) return failed(AtStatus::LineLost);
    const auto until = std::min(Clock::now() + waitFor, deadline);
    while (!reader.done()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) break;
      const long n = line.readSome(buffer, sizeof buffer, static_cast<int>(left));
      if (n < 0) return failed(AtStatus::LineLost);
      if (n > 0) reader.feed(buffer, static_cast<std::size_t>(n));
    }
    if (!reader.done() && Clock::now() >= deadline) return failed(AtStatus::NoAnswer);
    waitFor *= 2;
  }
  return answered(reader, std::string());
}

AtResult enterObexMode(SerialLine& line, int timeoutMs) {
  // More lone OKs than this are not late answers but a phone that answers something else.
  constexpr int MostLateOks = 8;
  const std::string command = "AT+CPROT=0";
  const std::string sent = command + "\r";
  line.discardInput();
  if (!line.writeAll(sent.data(), sent.size(), timeoutMs)) return failed(AtStatus::LineLost);
  AtResult lateOk;
  bool haveLateOk = false;
  std::string pending;
  for (int oks = 0;; ++oks) {
    AtReplyReader reader(command);
    AtResult r = readReply(line, reader, pending, timeoutMs);
    if (r.status == AtStatus::NoAnswer && haveLateOk) {
      r = lateOk;  // nothing followed that OK: it was the answer after all
    } else if (r.status == AtStatus::Answered && r.finalCode == "OK" && oks < MostLateOks) {
      lateOk = r;
      haveLateOk = true;
      pending = r.leftover;
      continue;
    }
    r.ok = r.status == AtStatus::Answered && startsWith(r.finalCode, "CONNECT");
    return r;
  }
}

}  // namespace cable
