#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <memory>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/MessageLog.h"
#include "common/Paths.h"
#include "settings/Settings.h"

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

std::string settingsPath() { return localPath(SettingsFileName); }

// The old settings file kept beside the new one when a rewrite drops what it held.
std::string backupFileName() { return std::string(SettingsFileName) + ".bak"; }

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
  t[UpdateServerHeaderLine] = UpdateServerHeader;
  t[UpdateServerLine] = s.updateServer;
  t[UpdateModeLine] = std::to_string(s.updateMode);
  t[FolderPicturesLine] = flag(s.updateFolderPictures);
  t[UpdateServerEndLine] = "";
  t[ProxyHeaderLine] = ProxySettingsHeader;
  t[UseProxyLine] = flag(s.useProxy);
  t[ProxyHostLine] = s.proxyHost;
  t[ProxyPortLine] = s.proxyPort;
  t[ProxyUserNameLine] = s.proxyUserName;
  t[ProxyPasswordLine] = s.proxyPassword;
  t[ProxySettingsEndLine] = "";
  t[ConnectionHeaderLine] = ConnectionHeader;
  t[ComPortLine] = s.comPort;
  t[ComSpeedLine] = s.comSpeed;
  t[AutoCompileJavaLine] = flag(s.autoCompileJava);
  t[ConnectionEndLine] = "";
  t[InterfaceHeaderLine] = InterfaceHeader;
  t[SortModeLine] = flag(s.manualSort);
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
  section(UpdateServerHeader, UpdateServerLine, FolderPicturesLine, 0, false);
  section(ProxySettingsHeader, UseProxyLine, ProxyPasswordLine, 1, true);
  section(ConnectionHeader, ComPortLine, AutoCompileJavaLine, 0, false);
  section(InterfaceHeader, SortModeLine, SortModeLine, 0, false);
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

// ---- SettingsFile -------------------------------------------------------------------------------------------
void SettingsFile::load() {
  unread_ = {};
  backupDue_ = false;
  SettingsFileRead read;
  std::exception_ptr stopped;
  try {
    readInto(read);
  } catch (...) {
    stopped = std::current_exception();
  }
  // What was read before an error is shown all the same, and the form as it then stands is what a later save
  // compares with.
  form_.fill(read);
  afterRead_ = settingsLineTexts(currentLines());
  if (stopped) std::rethrow_exception(stopped);
}

void SettingsFile::readInto(SettingsFileRead& read) {
  const std::string bytes = readFileBytes(settingsPath());
  const SettingsLayout layout = locateSettingsLines(bytes);
  // Every value line counts as unread until the read below has taken it in.
  unread_ = layout.values;
  // The sort mode is read at start-up only; when that read stopped before it, the line stays as it stands.
  if (settings_.sortModeRead()) unread_[SortModeLine].reset();
  backupDue_ = rewriteDropsFileContent(layout);
  auto taken = [this](std::initializer_list<SettingsLine> lines) {
    for (SettingsLine n : lines) unread_[n].reset();
  };

  SettingsReader in(splitSettingsLines(bytes));
  if (in.findSection(UpdateServerHeader)) {
    read.updateServer = in.readLine();
    taken({UpdateServerLine});
    read.updateMode = static_cast<std::uint8_t>(in.readNumber());
    taken({UpdateModeLine});
    read.updateFolderPictures = static_cast<std::uint8_t>(in.readNumber()) != 0;
    taken({FolderPicturesLine});
  }
  if (in.findSection(ProxySettingsHeader)) {
    // A header line ends the section, as in the start-up read: a file written with the proxy off may hold
    // only the flag, and the next section's lines are no proxy details. An empty section leaves all as it is.
    if (const std::optional<std::string> useProxy = in.readSectionLine()) {
      read.useProxy = flagOn(*useProxy);
      // The details are read also while the proxy is off, so that the next save, from the dialog or from a
      // menu toggle, writes them back instead of erasing them.
      for (std::string* detail : {&read.proxyHost, &read.proxyPort, &read.proxyUserName, &read.proxyPassword}) {
        *detail = in.readSectionLine().value_or(std::string());
      }
      in.readSectionLine();
    }
    taken({UseProxyLine, ProxyHostLine, ProxyPortLine, ProxyUserNameLine, ProxyPasswordLine});
  }
  if (in.findSection(ConnectionHeader)) {
    read.comPort = in.readLine();
    read.comSpeed = in.readLine();
    settings_.setAutoCompileJava(flagOn(in.readLine()));
    taken({ComPortLine, ComSpeedLine, AutoCompileJavaLine});
  }
}

SettingsLines SettingsFile::currentLines() const {
  const SettingsFormValues form = form_.values();
  SettingsLines s;
  static_cast<SettingsFormValues&>(s) = form;
  s.updateMode = static_cast<std::uint8_t>(settings_.updateMode());
  s.autoCompileJava = settings_.autoCompileJava();
  s.manualSort = !settings_.alphabeticalSort();
  return s;
}

void SettingsFile::save() {
  const SettingsLines s = currentLines();
  // A line the last read did not take in, and whose value nobody has changed since, is written back as it
  // stood: the half-filled form must not replace settings the user never saw.
  const SettingsFileLines now = settingsLineTexts(s);
  SettingsFileLines kept;
  for (std::size_t n = 1; n < kept.size(); ++n) {
    if (unread_[n] && now[n] != afterRead_[n]) unread_[n].reset();  // the user's value from now on
    kept[n] = unread_[n];
  }
  // Some lines cannot be written back as they stood. A header stands where a value belongs (its section was
  // short): written there, it would be found as its section's header by the next read. A lone CR inside a
  // line is written as a blank, so the line would read differently. Such a file, like one whose lines stand
  // in no section, is not patched: a complete file is written from the values in force, the old one kept.
  const bool rewriteWhole = backupDue_ || std::any_of(kept.begin(), kept.end(), [](const auto& line) {
                              return line && (isSettingsHeader(*line) || line->find('\r') != std::string::npos);
                            });
  if (rewriteWhole) kept = {};
  const bool useProxy = s.useProxy;
  const bool proxyKept = kept[UseProxyLine] || kept[ProxyHostLine] || kept[ProxyPortLine] || kept[ProxyUserNameLine] ||
                         kept[ProxyPasswordLine];
  // Every number is checked before the file is touched, so a refused save leaves the file and the values in
  // force as they were. Lines written back as they stood are not the form's values.
  const auto proxyPort = useProxy && !proxyKept ? static_cast<std::uint32_t>(toInteger(s.proxyPort)) : 0u;
  const int comSpeed = kept[ComSpeedLine] ? settings_.comSpeed() : toInteger(s.comSpeed);
  const bool backedUp = rewriteWhole && backUp();
  writeSettingsFile(settingsPath(), formatSettings(s, kept));
  if (rewriteWhole) {
    // The file now holds the values in force and nothing else: a later save keeps no line of the old one and
    // must not replace the backup.
    unread_ = {};
    backupDue_ = false;
  }
  if (backedUp) {
    log_.logCommand(QStringLiteral(" Файл %1 записан заново; прежний файл сохранён как %2")
                        .arg(QString::fromLatin1(SettingsFileName), QString::fromStdString(backupFileName())));
  }

  if (!kept[UpdateServerLine]) settings_.setUpdateServer(s.updateServer);
  if (!proxyKept) {
    // When the proxy lines were not all read, transfers keep the proxy details they have.
    ProxyDetails proxy;
    if (useProxy) proxy = {s.proxyHost, proxyPort, s.proxyUserName, s.proxyPassword};
    settings_.setProxy(proxy);
  }
  if (!kept[ComPortLine]) settings_.setComPort(s.comPort);
  settings_.setComSpeed(comSpeed);
}

bool SettingsFile::backUp() const {
  const std::string path = settingsPath();
  if (!fileExists(path)) return false;
  try {
    writeSettingsFile(localPath(backupFileName()), readFileBytes(path));
  } catch (const QuorrelError& e) {
    throw QuorrelError("Настройки не сохранены: прежний файл " + std::string(SettingsFileName) +
                       " не удалось сохранить как " + backupFileName() + ": " + e.what());
  }
  return true;
}

}  // namespace quorrel
