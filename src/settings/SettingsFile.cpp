#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"

namespace quorrel {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Parses [+|-]digits filling the whole of [begin, end) into a signed 32-bit value.
bool parseDecimal(const char* begin, const char* end, std::int32_t& value) {
  bool negative = false;
  if (begin != end && (*begin == '+' || *begin == '-')) {
    negative = *begin == '-';
    ++begin;
  }
  if (begin == end) return false;
  long long v = 0;
  for (const char* p = begin; p != end; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > static_cast<long long>(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

void rewriteInPlace(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throwIoError(errno);
  const bool ok = writeAll(fd, bytes.data(), bytes.size());
  const int err = errno;
  if (::close(fd) != 0 && ok) throwIoError(errno);
  if (!ok) throwIoError(err);
}

}  // namespace

std::int32_t toInteger(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && isBlank(*begin)) ++begin;
  std::int32_t value = 0;
  if (!parseDecimal(begin, end, value)) {
    throw QuorrelError("'" + fromAnsi(text).toStdString() + "' is not a valid integer value");
  }
  return value;
}

// ---- SettingsReader ----------------------------------------------------------------------------------------
SettingsReader::SettingsReader(const std::string& path) : lines_(splitLines(readFileBytes(path), LineBreaks::Lf)) {}

bool SettingsReader::findSection(const std::string& header) {
  const std::size_t start = next_;
  const std::string startLast = last_;
  while (last_ != header) {
    if (pastEnd()) {
      next_ = start;
      last_ = startLast;
      return false;
    }
    last_ = lines_[next_++];
  }
  return true;
}

std::string SettingsReader::readLine() {
  last_ = pastEnd() ? std::string() : lines_[next_++];
  return last_;
}

std::int32_t SettingsReader::readNumber() {
  if (pastEnd()) {
    last_.clear();
    return 0;
  }
  const std::string& line = readLine();
  const char* begin = line.data();
  const char* end = begin + line.size();
  while (begin != end && isBlank(*begin)) ++begin;
  const char* tokenEnd = begin;
  while (tokenEnd != end && static_cast<unsigned char>(*tokenEnd) > ' ') ++tokenEnd;
  std::int32_t value = 0;
  if (!parseDecimal(begin, tokenEnd, value)) throw QuorrelError("Invalid numeric input");
  return value;
}

std::int32_t SettingsReader::readInteger() {
  if (pastEnd()) {
    last_.clear();
    return 0;
  }
  return toInteger(readLine());
}

// ---- Writing ------------------------------------------------------------------------------------------------
std::string formatSettings(const SettingsLines& s) {
  std::string out;
  auto line = [&out](std::string text) {
    for (char& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    out += text;
    out += "\r\n";
  };
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  line(UpdateServerHeader);
  line(s.updateServer);
  line(std::to_string(s.updateMode));
  line(flag(s.updateFolderPictures));
  line({});
  line(ProxySettingsHeader);
  line(flag(s.useProxy));
  line(s.proxyHost);
  line(s.proxyPort);
  line(s.proxyUserName);
  line(s.proxyPassword);
  line({});
  line(ConnectionHeader);
  line(s.comPort);
  line(s.comSpeed);
  line(flag(s.autoCompileJava));
  line({});
  line(InterfaceHeader);
  line(flag(s.manualSort));
  return out;
}

void writeSettingsFile(const std::string& path, const std::string& bytes) {
  // Replace the file a symbolic link points to, not the link.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  const bool exists = ::access(target.c_str(), F_OK) == 0;
  // A read-only file stays read-only: renaming over it would otherwise succeed in a writable folder.
  if (exists && ::access(target.c_str(), W_OK) != 0) throwIoError(errno);

  std::string temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (exists && (err == EACCES || err == EPERM)) {
      rewriteInPlace(target, bytes);
      return;
    }
    throwIoError(err);
  }
  int err = 0;
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0 || !writeAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0)
    err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err == 0) return;
  ::unlink(temp.c_str());
  throwIoError(err);
}

}  // namespace quorrel
