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
  // Readable by its owner only, as a replaced file is: it holds the proxy password. (Only the owner may
  // change the mode; another user's writable file keeps its mode.)
  ::fchmod(fd, S_IRUSR | S_IWUSR);
  const bool ok = writeAll(fd, bytes.data(), bytes.size());
  const int err = errno;
  if (::close(fd) != 0 && ok) throwIoError(errno);
  if (!ok) throwIoError(err);
}

}  // namespace

bool isSettingsHeader(const std::string& line) {
  return line == UpdateServerHeader || line == ProxySettingsHeader || line == ConnectionHeader ||
         line == InterfaceHeader;
}

std::vector<std::string> splitSettingsLines(const std::string& bytes, bool* byteOrderMark) {
  static const std::string mark = "\xEF\xBB\xBF";
  const bool marked = bytes.compare(0, mark.size(), mark) == 0;
  if (byteOrderMark) *byteOrderMark = marked;
  return splitLines(marked ? bytes.substr(mark.size()) : bytes, LineBreaks::Lf);
}

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
SettingsReader::SettingsReader(const std::string& path) : lines_(splitSettingsLines(readFileBytes(path))) {}

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

std::optional<std::string> SettingsReader::readSectionLine() {
  if (atHeader()) return std::nullopt;
  return readLine();
}

std::int32_t SettingsReader::readSectionInteger() { return atHeader() ? 0 : readInteger(); }

// ---- Writing ------------------------------------------------------------------------------------------------
SettingsFileLines settingsLineTexts(const SettingsLines& s) {
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  SettingsFileLines t;
  t[1] = UpdateServerHeader;
  t[2] = s.updateServer;
  t[3] = std::to_string(s.updateMode);
  t[4] = flag(s.updateFolderPictures);
  t[5] = "";
  t[6] = ProxySettingsHeader;
  t[7] = flag(s.useProxy);
  t[8] = s.proxyHost;
  t[9] = s.proxyPort;
  t[10] = s.proxyUserName;
  t[11] = s.proxyPassword;
  t[12] = "";
  t[13] = ConnectionHeader;
  t[14] = s.comPort;
  t[15] = s.comSpeed;
  t[16] = flag(s.autoCompileJava);
  t[17] = "";
  t[18] = InterfaceHeader;
  t[19] = flag(s.manualSort);
  return t;
}

std::string formatSettings(const SettingsLines& s, const SettingsFileLines& kept) {
  const SettingsFileLines texts = settingsLineTexts(s);
  std::string out;
  for (std::size_t n = 1; n < texts.size(); ++n) {
    std::string text = kept[n] ? *kept[n] : *texts[n];
    for (char& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    out += text;
    out += "\r\n";
  }
  return out;
}

SettingsLayout locateSettingsLines(const std::string& bytes) {
  SettingsLayout layout;
  const std::vector<std::string> lines = splitSettingsLines(bytes, &layout.byteOrderMark);
  std::vector<bool> placed(lines.size(), false);
  SettingsReader in(lines);
  // Reads one line of a section as its reader does, marking it placed when it is a line of the file.
  auto take = [&](bool endsAtHeader) -> std::optional<std::string> {
    const std::size_t before = in.linesRead();
    std::optional<std::string> line = endsAtHeader ? in.readSectionLine() : in.readLine();
    if (in.linesRead() > before && before < lines.size()) placed[before] = true;
    return line;
  };
  // Finds the section's header and reads the value lines numbered `first` to `last`, then `extra` lines more.
  // In a section that ends at a header, the lines after it are not in the file and give none.
  auto section = [&](const char* header, std::size_t first, std::size_t last, int extra, bool endsAtHeader) {
    if (!in.findSection(header)) {
      if (layout.missingHeader.empty()) layout.missingHeader = header;
      return;
    }
    placed[in.linesRead() - 1] = true;
    for (std::size_t n = first; n <= last; ++n) {
      layout.values[n] = take(endsAtHeader);
      if (!layout.values[n]) return;
    }
    for (int i = 0; i < extra; ++i) take(endsAtHeader);
  };
  section(UpdateServerHeader, 2, 4, 0, false);
  section(ProxySettingsHeader, 7, 11, 1, true);
  section(ConnectionHeader, 14, 16, 0, false);
  section(InterfaceHeader, 19, 19, 0, false);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!placed[i] && !lines[i].empty()) layout.strayLines = true;
  }
  return layout;
}

bool rewriteDropsFileContent(const SettingsLayout& layout) {
  return layout.byteOrderMark || (!layout.missingHeader.empty() && layout.strayLines);
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
