// The virtual phone: a phone file-system plugin that emulates Samsung SGH phones on serial ports with folders.
//
// The root is $SGHFS_PHONES, else $XDG_DATA_HOME/sghfs, else ~/.local/share/sghfs; port n is the folder COMn
// inside it. A phone folder holds phone.ini (Manufacturer, Model, Serial and the optional BytesPerSecond,
// FailAfterBytes, RefuseRebuild, one Key=Value a line), java/ (the phone's Java folder, the only folder the
// phone shows), javalist.txt (the phone's Java list, one entry a line) and operations.log, where every
// operation the phone performs leaves one line.
//
// One caller thread; callbacks are made only from within a call, on that thread.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CablePhone.h"
#include "Codepage.h"
#include "FindListings.h"
#include "sghfs_abi.h"

namespace fs = std::filesystem;

namespace {

const char* const VersionText = "sghfs.wfx virtual phone 1.0";
const char* const PartSuffix = ".sghfs-part";

// The phone's own messages are written here in UTF-8 and sent in Windows-1251.
std::string ansi(const char* utf8) { return sghfs::utf8ToAnsi(utf8); }
// A name of this system in a message to the host; a name that is not UTF-8 is passed as it stands.
std::string ansiName(const std::string& name) { return sghfs::nameToAnsi(name); }

// An open file descriptor, closed when the holder goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { close(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  bool close() {
    const bool ok = fd_ < 0 || ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_ = -1;
};

struct Phone {
  std::string name;  // "COM1"
  fs::path dir;
  std::string manufacturer;
  std::string model;
  std::string serial;
  long long bytesPerSecond = 0;
  long long failAfterBytes = -1;
  bool refuseRebuild = false;
};

struct State {
  int32_t pluginNr = 0;
  SghfsProgressProc progress = nullptr;
  SghfsLogProc log = nullptr;
  int32_t port = 0;
  int32_t speed = 0;
  std::optional<Phone> phone;
  sghfs::FindListings listings{1};
  bool rebuilding = false;
  std::vector<std::string> javaList;
  Fd operations;  // the phone's operations.log while connected
};

State S;

void log(int32_t type, const std::string& text) {
  if (S.log) S.log(S.pluginNr, type, text.c_str());
}

void operation(std::string line) {
  if (!S.phone) return;
  // One line per operation, whatever a command or a name held.
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  if (!S.operations.valid()) return;
  line += "\r\n";
  for (std::size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(S.operations.get(), line.data() + done, line.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// Writes a text into a host buffer, at most the buffer's characters.
void put(char* buffer, const std::string& text) {
  if (!buffer) return;
  const std::size_t n = std::min<std::size_t>(text.size(), SGHFS_MAX_TEXT);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Lines ending at CR LF, a lone CR or a lone LF; no empty entry after a final break.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

// Nothing inside the phone folder is reached through a symbolic link: a link there may point anywhere on the
// computer, and the phone would read or write that file. Folders are opened one component at a time and
// files relative to their folder, each with O_NOFOLLOW.

// A folder below the phone folder (none: the phone folder itself); invalid when a component is missing, is not
// a folder or is a symbolic link.
Fd openFolder(const fs::path& phoneDir, const std::vector<std::string>& parts) {
  Fd dir(::open(phoneDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (const std::string& part : parts) {
    if (!dir.valid()) break;
    dir = Fd(::openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return dir;
}

// The bytes of a regular file in a folder; none for anything else (a link, a FIFO, a folder) or on an error.
std::optional<std::string> readAt(int dir, const std::string& name) {
  const Fd in(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string bytes;
  char block[1 << 14];
  while (true) {
    const ssize_t n = ::read(in.get(), block, sizeof block);
    if (n < 0) return std::nullopt;
    if (n == 0) return bytes;
    bytes.append(block, static_cast<std::size_t>(n));
  }
}

// Replaces a file in a folder by writing a new one beside it and renaming it over the old; a link standing
// at either name is replaced, never written through.
bool writeAt(int dir, const std::string& name, const std::string& bytes) {
  const std::string tmp = name + PartSuffix;
  ::unlinkat(dir, tmp.c_str(), 0);
  Fd out(::openat(dir, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out.valid()) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(out.get(), bytes.data() + done, bytes.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = out.close() && ok && ::renameat(dir, tmp.c_str(), dir, name.c_str()) == 0;
  if (!ok) ::unlinkat(dir, tmp.c_str(), 0);
  return ok;
}

struct FolderEntry {
  std::string name;
  struct stat st;
};

// A folder's entries by name, without ".", ".." and symbolic links.
std::vector<FolderEntry> entriesOf(int dir) {
  std::vector<FolderEntry> entries;
  const int own = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = own < 0 ? nullptr : ::fdopendir(own);
  if (!d) {
    if (own >= 0) ::close(own);
    return entries;
  }
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry{name, {}};
    if (::fstatat(dir, name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(entry.st.st_mode)) continue;
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.name < y.name; });
  return entries;
}

fs::path phonesRoot() {
  if (const char* p = std::getenv("SGHFS_PHONES"); p && *p) return p;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return fs::path(x) / "sghfs";
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : "") / ".local/share/sghfs";
}

long long number(const std::string& text, long long fallback) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || errno != 0 || *end != '\0') return fallback;
  return v;
}

void readPhoneIni(Phone& phone) {
  const Fd dir = openFolder(phone.dir, {});
  const auto text = readAt(dir.get(), "phone.ini");
  if (!text) return;
  for (const std::string& line : splitLines(*text)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = lower(sghfs::trimBlanks(line.substr(0, eq)));
    const std::string value = sghfs::trimBlanks(line.substr(eq + 1));
    if (key == "manufacturer")
      phone.manufacturer = value;
    else if (key == "model")
      phone.model = value;
    else if (key == "serial")
      phone.serial = value;
    else if (key == "bytespersecond")
      phone.bytesPerSecond = std::max(0LL, number(value, 0));
    else if (key == "failafterbytes")
      phone.failAfterBytes = number(value, -1);
    else if (key == "refuserebuild")
      phone.refuseRebuild = number(value, 0) != 0;
  }
}

// A phone path as its components; none when it climbs out ("..") or names anything but the Java folder.
// An empty list is the phone's root.
std::optional<std::vector<std::string>> phoneComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&]() -> bool {
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    part.clear();
    return true;
  };
  for (const char c : path) {
    if (c == '/' || c == '\\') {
      if (!flush()) return std::nullopt;
    } else {
      part += c;
    }
  }
  if (!flush()) return std::nullopt;
  if (!parts.empty() && lower(parts[0]) != "java") return std::nullopt;
  if (!parts.empty()) parts[0] = "java";
  return parts;
}

std::string phoneName(const std::vector<std::string>& parts) {
  std::string name;
  for (const std::string& part : parts) name += "/" + part;
  return name;
}

SghfsFileTime fileTime(time_t t) {
  // 100-nanosecond intervals since 1601-01-01.
  const unsigned long long v = (static_cast<unsigned long long>(t) + 11644473600ULL) * 10000000ULL;
  return SghfsFileTime{static_cast<uint32_t>(v & 0xFFFFFFFFu), static_cast<uint32_t>(v >> 32)};
}

bool makeEntry(const std::string& name, const struct stat& st, SghfsFindData& d) {
  if (name.size() >= SGHFS_MAX_PATH) return false;
  d = SghfsFindData{};
  const bool dir = S_ISDIR(st.st_mode);
  d.dwFileAttributes = dir ? SGHFS_ATTR_DIRECTORY : SGHFS_ATTR_ARCHIVE;
  const auto size = dir ? 0ULL : static_cast<unsigned long long>(st.st_size);
  d.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
  d.nFileSizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
  d.ftCreationTime = d.ftLastAccessTime = d.ftLastWriteTime = fileTime(st.st_mtime);
  std::memcpy(d.cFileName, name.c_str(), name.size() + 1);
  return true;
}

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The MIDlet-Name of a descriptor in the Java folder; the file name without "_suite.jad" when it has none.
// Descriptors are UTF-8 and the Java list is Windows-1251, so the name is converted; a name that is not valid
// UTF-8 was written in the list's code page already and is kept as it is.
std::string midletName(int java, const std::string& file) {
  if (const auto text = readAt(java, file)) {
    for (const std::string& line : splitLines(*text)) {
      const auto colon = line.find(':');
      if (colon != std::string::npos && lower(sghfs::trimBlanks(line.substr(0, colon))) == "midlet-name") {
        const std::string v = sghfs::trimBlanks(line.substr(colon + 1));
        if (!v.empty()) return ansiName(v);
      }
    }
  }
  return ansiName(file.substr(0, file.size() - std::string("_suite.jad").size()));
}

std::string joinList(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& e : entries) text += e + "\r\n";
  return text;
}

// Moves up to `want` bytes from one file to the other: in the kernel where it can, else through `block`.
// Returns the bytes moved (0 at the end of the source), -1 on a read error, -2 on a write error.
long long copyBlock(int from, int to, std::size_t want, std::vector<char>& block) {
  if (block.empty()) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, want, 0);
    if (n >= 0) return n;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) return -2;
    block.resize(1 << 16);
  }
  const ssize_t got = ::read(from, block.data(), std::min(want, block.size()));
  if (got < 0) return -1;
  for (ssize_t written = 0; written < got;) {
    const ssize_t w = ::write(to, block.data() + written, static_cast<std::size_t>(got - written));
    if (w < 0) return -2;
    written += w;
  }
  return got;
}

int32_t failPut(int32_t code, const std::string& text, const std::string& operationLine) {
  log(SGHFS_MSG_IMPORTANTERROR, text);
  operation(operationLine);
  return code;
}

// The phone kept in a folder. Its operations also answer while no phone is connected (before the first
// connect, after a disconnect, after a connect that found no phone): each call then fails as the host expects.
namespace folder {

void release() {
  S.operations.close();
  S.phone.reset();
  S.listings.clear();
}

int32_t disconnect() {
  if (!S.phone) return 0;
  operation("disconnect");
  log(SGHFS_MSG_DISCONNECT, ansi("Соединение с телефоном закрыто"));
  S.operations.close();
  S.phone.reset();
  S.listings.clear();
  return 1;
}

bool connected() { return S.phone.has_value(); }

int32_t sendCommand(const char* command, char* reply) {
  if (!S.phone) {
    put(reply, "ERROR\r\n");
    return 0;
  }
  std::string cmd = sghfs::trimBlanks(command ? command : "");
  for (char& c : cmd) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  operation(cmd);
  auto answer = [&](const std::string& value) { put(reply, value + "\r\n\r\nOK\r\n"); };
  if (cmd == "AT+CGMI")
    answer(S.phone->manufacturer);
  else if (cmd == "AT+CGMM")
    answer(S.phone->model);
  else if (cmd == "AT+CGSN")
    answer(S.phone->serial);
  else if (cmd == "AT")
    put(reply, "OK\r\n");
  else
    put(reply, "ERROR\r\n");
  return 1;
}

SghfsHandle findFirst(const char* path, SghfsFindData* findData) {
  if (!S.phone || !findData) return SGHFS_INVALID_HANDLE;
  const auto parts = phoneComponents(path ? path : "");
  if (!parts) return SGHFS_INVALID_HANDLE;
  std::vector<SghfsFindData> found;
  SghfsFindData d{};
  const Fd dir = openFolder(S.phone->dir, *parts);
  if (parts->empty()) {
    struct stat st {};
    if (::fstatat(dir.get(), "java", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        makeEntry("java", st, d)) {
      found.push_back(d);
    }
  } else if (dir.valid()) {
    for (const FolderEntry& e : entriesOf(dir.get())) {
      if (!endsWith(e.name, PartSuffix) && makeEntry(ansiName(e.name), e.st, d)) found.push_back(d);
    }
  }
  return S.listings.open(std::move(found), findData);
}

int32_t findNext(SghfsHandle handle, SghfsFindData* findData) { return S.listings.next(handle, findData); }

int32_t findClose(SghfsHandle handle) {
  S.listings.close(handle);
  return 0;
}

int32_t putFile(const char* localName, char* remoteName, int32_t copyFlags) {
  const std::string local = localName ? localName : "";
  const std::string remote = remoteName ? remoteName : "";
  if (!S.phone) {
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Нет соединения с телефоном"));
    return SGHFS_FILE_WRITEERROR;
  }
  const auto parts = phoneComponents(remote);
  if (!parts || parts->size() < 2) {
    return failPut(SGHFS_FILE_WRITEERROR, ansi("Недопустимое имя в телефоне: ") + remote, "put " + remote + " refused");
  }
  const std::string name = phoneName(*parts);
  // The host names the file in Windows-1251; in the phone's folder it is a file name of this system.
  const std::string leaf = sghfs::ansiToUtf8(parts->back());
  const Fd dir = openFolder(S.phone->dir, std::vector<std::string>(parts->begin(), parts->end() - 1));
  struct stat existing {};
  const bool found = dir.valid() && ::fstatat(dir.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (!dir.valid() || (found && S_ISDIR(existing.st_mode))) {
    return failPut(SGHFS_FILE_WRITEERROR, ansi("Нет такой папки в телефоне: ") + name, "put " + name + " refused");
  }
  if (found && !S_ISREG(existing.st_mode)) {
    return failPut(SGHFS_FILE_WRITEERROR, ansi("Недопустимое имя в телефоне: ") + name,
                   "put " + name + " refused: not a plain file");
  }
  const Fd in(::open(local.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat source {};
  if (!in.valid() || ::fstat(in.get(), &source) != 0 || !S_ISREG(source.st_mode)) {
    return failPut(!in.valid() && errno == ENOENT ? SGHFS_FILE_NOTFOUND : SGHFS_FILE_READERROR,
                   ansi("Не найден файл ") + ansiName(local), "put " + name + " failed: no source");
  }
  const bool replacing = found;
  if (replacing && !(copyFlags & SGHFS_COPY_OVERWRITE)) {
    return failPut(SGHFS_FILE_EXISTS, ansi("Файл уже есть в телефоне: ") + name, "put " + name + " exists");
  }
  const long long size = source.st_size;
  const Phone& phone = *S.phone;
  const std::string localText = ansiName(local);
  // A file that replaces an older copy is written beside it first, so a failed copy keeps the old one.
  const std::string writeTo = replacing ? leaf + PartSuffix : leaf;
  if (replacing) ::unlinkat(dir.get(), writeTo.c_str(), 0);  // a part left by an earlier copy
  Fd out(::openat(dir.get(), writeTo.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out.valid()) {
    return failPut(SGHFS_FILE_WRITEERROR, ansi("Нет места в телефоне для ") + name, "put " + name + " failed");
  }

  auto percent = [&](long long done) { return static_cast<int32_t>(size > 0 ? done * 100 / size : 100); };
  auto abandon = [&](int32_t code, const std::string& text, const std::string& what) {
    out.close();
    ::unlinkat(dir.get(), writeTo.c_str(), 0);
    return failPut(code, text, "put " + name + " " + what);
  };
  // A cable moves a few hundred bytes at a time; unlimited copies go in large blocks.
  const long long chunk = phone.bytesPerSecond > 0 ? std::clamp(phone.bytesPerSecond / 10, 256LL, 65536LL) : 1LL << 20;
  std::vector<char> block;
  const auto start = std::chrono::steady_clock::now();
  long long done = 0;
  while (true) {
    long long want = chunk;
    const bool limited = phone.failAfterBytes >= 0 && done + want > phone.failAfterBytes;
    if (limited) want = phone.failAfterBytes - done;
    const long long got = want > 0 ? copyBlock(in.get(), out.get(), static_cast<std::size_t>(want), block) : 0;
    if (got < 0) {
      return abandon(got == -1 ? SGHFS_FILE_READERROR : SGHFS_FILE_WRITEERROR, ansi("Ошибка передачи: ") + name,
                     "failed: " + std::string(std::strerror(errno)));
    }
    done += got;
    if (limited && done >= phone.failAfterBytes && done < size) {
      return abandon(SGHFS_FILE_WRITEERROR, ansi("Обрыв связи после ") + std::to_string(done) + ansi(" байт: ") + name,
                     "failed after " + std::to_string(done) + " bytes");
    }
    if (got == 0) break;  // the whole file is across
    if (phone.bytesPerSecond > 0) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(done * 1000000 / phone.bytesPerSecond));
    }
    if (S.progress && S.progress(S.pluginNr, localText.c_str(), name.c_str(), percent(done)) != 0) {
      return abandon(SGHFS_FILE_USERABORT, ansi("Передача прервана: ") + name, "aborted");
    }
  }
  if (!out.close()) return abandon(SGHFS_FILE_WRITEERROR, ansi("Ошибка записи: ") + name, "failed: write error");
  if (replacing && ::renameat(dir.get(), writeTo.c_str(), dir.get(), leaf.c_str()) != 0)
    return abandon(SGHFS_FILE_WRITEERROR, ansi("Ошибка записи: ") + name, "failed: rename");
  if (name.size() <= SGHFS_MAX_TEXT) put(remoteName, name);
  operation("put " + name + " " + std::to_string(done));
  log(SGHFS_MSG_TRANSFERCOMPLETE, ansi("Записан файл ") + name + " (" + std::to_string(done) + ansi(" байт)"));
  return SGHFS_FILE_OK;
}

int32_t compileJava(SghfsJavaListProc listProc) {
  if (!S.phone) {
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Нет соединения с телефоном"));
    return 0;
  }
  if (S.phone->refuseRebuild) {
    operation("rebuild refused");
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Телефон не смог перестроить список Java"));
    return 0;
  }
  const Fd phoneDir = openFolder(S.phone->dir, {});
  const Fd java = openFolder(S.phone->dir, {"java"});
  if (!java.valid()) {
    operation("rebuild failed: no java folder");
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Нет папки java в телефоне: список Java не перестроен"));
    return 0;
  }
  std::vector<std::string> present;
  for (const FolderEntry& e : entriesOf(java.get())) {
    if (S_ISREG(e.st.st_mode) && endsWith(lower(e.name), "_suite.jad"))
      present.push_back(midletName(java.get(), e.name));
  }

  // Entries already listed keep their order; new ones follow in file-name order; gone ones are dropped.
  std::vector<std::string> list;
  std::vector<bool> taken(present.size(), false);
  const auto old = readAt(phoneDir.get(), "javalist.txt");
  for (const std::string& entry : splitLines(old ? *old : std::string())) {
    for (std::size_t i = 0; i < present.size(); ++i) {
      if (!taken[i] && present[i] == entry) {
        taken[i] = true;
        list.push_back(entry);
        break;
      }
    }
  }
  for (std::size_t i = 0; i < present.size(); ++i) {
    if (!taken[i]) list.push_back(present[i]);
  }

  // The list crosses to the host in one buffer; a longer one would arrive cut and its new order would not be
  // a reordering of the whole. The rebuild fails instead, and says so.
  const std::string whole = joinList(list);
  if (listProc && whole.size() > SGHFS_MAX_TEXT) {
    operation("rebuild failed: list of " + std::to_string(whole.size()) + " characters");
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Список Java слишком длинный (") + std::to_string(whole.size()) +
                                      ansi(" символов, можно не больше ") + std::to_string(SGHFS_MAX_TEXT) +
                                      ansi("): список не перестроен"));
    return 0;
  }
  S.javaList = list;
  if (listProc) {
    S.rebuilding = true;
    listProc(static_cast<int32_t>(S.javaList.size()));
    S.rebuilding = false;
  }
  if (!writeAt(phoneDir.get(), "javalist.txt", joinList(S.javaList))) {
    operation("rebuild failed");
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Не удалось сохранить список Java"));
    return 0;
  }
  operation("rebuild " + std::to_string(S.javaList.size()) + " entries");
  log(SGHFS_MSG_DETAILS, ansi("Список Java перестроен: ") + std::to_string(S.javaList.size()));
  return 1;
}

}  // namespace folder

const sghfs::PortOperations FolderOperations{folder::release,   folder::disconnect, folder::connected,
                                             folder::sendCommand, folder::findFirst,  folder::findNext,
                                             folder::findClose,   folder::putFile,    folder::compileJava};

// The operations of the connected port's phone, chosen by FsConnect: the folder phone's until a connect finds
// the phone on a cable, and again once that phone is disconnected.
const sghfs::PortOperations* Port = &FolderOperations;

}  // namespace

extern "C" {

int32_t FsInit(int32_t pluginNr, SghfsProgressProc progress, SghfsLogProc logProc, SghfsRequestProc) {
  S = State{};
  S.pluginNr = pluginNr;
  S.progress = progress;
  S.log = logProc;
  return 0;
}

int32_t FsSetup(int32_t, int32_t, int32_t port, int32_t speed, const char*) {
  S.port = port;
  S.speed = speed;
  return 0;
}

int32_t FsConnect(void) {
  Port->release();
  Port = &FolderOperations;
  const std::string name = "COM" + std::to_string(S.port);
  if (S.port < 1 || S.port > 16) {
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Неверный номер порта: ") + std::to_string(S.port));
    return 0;
  }
  const fs::path dir = phonesRoot() / name;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    const int32_t onCable = cable::connect(cable::Host{S.pluginNr, S.progress, S.log}, S.port, S.speed);
    if (onCable == 1) Port = &cable::operations;
    if (onCable >= 0) return onCable;
    log(SGHFS_MSG_IMPORTANTERROR,
        ansi("Телефон на порту ") + name + ansi(" не отвечает (нет папки ") + dir.string() + ")");
    return 0;
  }
  Phone phone;
  phone.name = name;
  phone.dir = dir;
  readPhoneIni(phone);
  fs::create_directory(dir / "java", ec);
  S.phone = phone;
  const Fd phoneDir = openFolder(dir, {});
  // Only a plain file takes the log: a FIFO put there would otherwise hold the connect until someone reads it.
  S.operations = Fd(::openat(phoneDir.get(), "operations.log",
                             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  struct stat st {};
  if (S.operations.valid() && (::fstat(S.operations.get(), &st) != 0 || !S_ISREG(st.st_mode))) S.operations.close();
  operation("connect " + name + " " + std::to_string(S.speed));
  log(SGHFS_MSG_CONNECT, ansi("Подключен телефон ") + phone.manufacturer + " " + phone.model + ansi(" на ") + name);
  return 1;
}

int32_t FsDisconnect(const char*) {
  const int32_t result = Port->disconnect();
  Port = &FolderOperations;
  return result;
}

int32_t FsSendCommand(const char* command, char* reply) { return Port->sendCommand(command, reply); }

SghfsHandle FsFindFirst(const char* path, SghfsFindData* findData) { return Port->findFirst(path, findData); }

int32_t FsFindNext(SghfsHandle handle, SghfsFindData* findData) { return Port->findNext(handle, findData); }

int32_t FsFindClose(SghfsHandle handle) { return Port->findClose(handle); }

int32_t FsGetFile(const char*, char*, int32_t, const void*) { return SGHFS_FILE_NOTSUPPORTED; }

int32_t FsPutFile(const char* localName, char* remoteName, int32_t copyFlags) {
  return Port->putFile(localName, remoteName, copyFlags);
}

int32_t FsDeleteFile(const char*) { return 0; }

int32_t FsRenMovFile(const char*, const char*, int32_t, int32_t, const void*) { return SGHFS_FILE_NOTSUPPORTED; }

void FsGetDefRootName(char* name, int32_t maxLen) {
  if (!name || maxLen <= 0) return;
  const std::string root = "Samsung SGH";
  const std::size_t n = std::min(root.size(), static_cast<std::size_t>(maxLen - 1));
  std::memcpy(name, root.data(), n);
  name[n] = '\0';
}

int32_t FsExecuteFile(intptr_t, char*, const char*) { return SGHFS_FILE_NOTSUPPORTED; }

int32_t FsVersion(char* buffer) {
  put(buffer, VersionText);
  return 1;
}

int32_t FsIsBusy(void) { return 0; }

int32_t FsIsConnected(void) { return Port->connected() ? 1 : 0; }

int32_t FsCompileJava(int32_t, SghfsJavaListProc listProc) { return Port->compileJava(listProc); }

int32_t FsJavaGetList(char* buffer) {
  if (!S.rebuilding) {
    put(buffer, "");
    return 0;
  }
  put(buffer, joinList(S.javaList));
  return 1;
}

int32_t FsJavaSetList(const char* buffer) {
  if (!S.rebuilding || !buffer) return 0;
  std::vector<std::string> proposed = splitLines(buffer);
  std::vector<std::string> a = proposed;
  std::vector<std::string> b = S.javaList;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  if (a != b) {
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Новый список Java отклонён: это не перестановка прежних записей"));
    return 0;
  }
  S.javaList = std::move(proposed);
  return 1;
}

}  // extern "C"
