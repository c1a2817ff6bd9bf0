// The virtual phone: a phone file-system plugin that emulates Samsung SGH phones on serial ports with folders.
//
// The root is $SGHFS_PHONES, else $XDG_DATA_HOME/sghfs, else ~/.local/share/sghfs; port n is the folder COMn
// inside it. A phone folder holds phone.ini (Manufacturer, Model, Serial and the optional BytesPerSecond,
// FailAfterBytes, RefuseRebuild, one Key=Value a line), java/ (the phone's Java folder, the only folder the
// phone shows), javalist.txt (the phone's Java list, one entry a line) and operations.log, where every
// operation the phone performs leaves one line.
//
// One caller thread; callbacks are made only from within a call, on that thread.
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
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CablePhone.h"
#include "sghfs_abi.h"

namespace fs = std::filesystem;

namespace {

const char* const VersionText = "sghfs.wfx virtual phone 1.0";
const char* const PartSuffix = ".sghfs-part";

// The phone speaks Windows-1251; its own messages are written here in UTF-8 and converted once. Only ASCII
// and the Russian alphabet occur in them.
std::string ansi(const char* utf8) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p) {
    if (*p < 0x80) {
      out += static_cast<char>(*p++);
      continue;
    }
    unsigned code = 0;
    if ((p[0] & 0xE0) == 0xC0 && p[1]) {
      code = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
      p += 2;
    } else {
      ++p;
      while ((*p & 0xC0) == 0x80) ++p;
    }
    if (code >= 0x410 && code <= 0x44F) {
      out += static_cast<char>(0xC0 + (code - 0x410));
    } else if (code == 0x401) {
      out += '\xA8';
    } else if (code == 0x451) {
      out += '\xB8';
    } else {
      out += '?';
    }
  }
  return out;
}

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

struct Listing {
  std::vector<SghfsFindData> entries;
  std::size_t next = 0;
};

struct State {
  int32_t pluginNr = 0;
  SghfsProgressProc progress = nullptr;
  SghfsLogProc log = nullptr;
  int32_t port = 0;
  int32_t speed = 0;
  std::optional<Phone> phone;
  std::map<SghfsHandle, Listing> listings;
  SghfsHandle nextHandle = 1;
  bool rebuilding = false;
  std::vector<std::string> javaList;
  std::ofstream operations;  // the phone's operations.log while connected
};

State S;
// The connected port has no folder here: the exports forward to the phone on the cable.
bool OnCable = false;

void log(int32_t type, const std::string& text) {
  if (S.log) S.log(S.pluginNr, type, text.c_str());
}

void operation(std::string line) {
  if (!S.phone) return;
  // One line per operation, whatever a command or a name held.
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  S.operations << line << "\r\n";
  S.operations.flush();
}

// Writes a text into a host buffer, at most the buffer's characters.
void put(char* buffer, const std::string& text) {
  if (!buffer) return;
  const std::size_t n = std::min<std::size_t>(text.size(), SGHFS_MAX_TEXT);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string trim(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
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

std::optional<std::string> readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Replaces a file by writing a new one beside it and renaming it over the old.
bool writeWhole(const fs::path& path, const std::string& bytes) {
  const fs::path tmp = path.string() + PartSuffix;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) fs::remove(tmp, ec);
  return !ec;
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
  const auto text = readWhole(phone.dir / "phone.ini");
  if (!text) return;
  for (const std::string& line : splitLines(*text)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = lower(trim(line.substr(0, eq)));
    const std::string value = trim(line.substr(eq + 1));
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

fs::path diskPath(const std::vector<std::string>& parts) {
  fs::path p = S.phone->dir;
  for (const std::string& part : parts) p /= part;
  return p;
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

bool makeEntry(const std::string& name, const fs::path& path, SghfsFindData& d) {
  if (name.size() >= SGHFS_MAX_PATH) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
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

std::string joinList(const std::vector<std::string>& entries, std::size_t limit) {
  std::string text;
  for (const std::string& e : entries) {
    if (text.size() + e.size() + 2 > limit) break;
    text += e + "\r\n";
  }
  return text;
}

// The MIDlet-Name of a descriptor; the file name without "_suite.jad" when it has none.
std::string midletName(const fs::path& jad) {
  if (const auto text = readWhole(jad)) {
    for (const std::string& line : splitLines(*text)) {
      const auto colon = line.find(':');
      if (colon != std::string::npos && lower(trim(line.substr(0, colon))) == "midlet-name") {
        const std::string v = trim(line.substr(colon + 1));
        if (!v.empty()) return v;
      }
    }
  }
  const std::string file = jad.filename().string();
  return file.substr(0, file.size() - std::string("_suite.jad").size());
}

// An open file descriptor, closed when the holder goes.
struct Fd {
  explicit Fd(int f) : fd(f) {}
  ~Fd() { close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  bool close() {
    const bool ok = fd < 0 || ::close(fd) == 0;
    fd = -1;
    return ok;
  }
  int fd;
};

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
  if (OnCable) cable::disconnect();
  OnCable = false;
  S.operations.close();
  S.phone.reset();
  S.listings.clear();
  const std::string name = "COM" + std::to_string(S.port);
  if (S.port < 1 || S.port > 16) {
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Неверный номер порта: ") + std::to_string(S.port));
    return 0;
  }
  const fs::path dir = phonesRoot() / name;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    const int32_t onCable = cable::connect(cable::Host{S.pluginNr, S.progress, S.log}, S.port, S.speed);
    OnCable = onCable == 1;
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
  S.operations.open(dir / "operations.log", std::ios::binary | std::ios::app);
  operation("connect " + name + " " + std::to_string(S.speed));
  log(SGHFS_MSG_CONNECT, ansi("Подключен телефон ") + phone.manufacturer + " " + phone.model + ansi(" на ") + name);
  return 1;
}

int32_t FsDisconnect(const char*) {
  if (OnCable) {
    OnCable = false;
    return cable::disconnect();
  }
  if (!S.phone) return 0;
  operation("disconnect");
  log(SGHFS_MSG_DISCONNECT, ansi("Соединение с телефоном закрыто"));
  S.operations.close();
  S.phone.reset();
  S.listings.clear();
  return 1;
}

int32_t FsSendCommand(const char* command, char* reply) {
  if (OnCable) return cable::sendCommand(command, reply);
  if (!S.phone) {
    put(reply, "ERROR\r\n");
    return 0;
  }
  std::string cmd = trim(command ? command : "");
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

SghfsHandle FsFindFirst(const char* path, SghfsFindData* findData) {
  if (OnCable) return cable::findFirst(path, findData);
  if (!S.phone || !findData) return SGHFS_INVALID_HANDLE;
  const auto parts = phoneComponents(path ? path : "");
  if (!parts) return SGHFS_INVALID_HANDLE;
  Listing listing;
  SghfsFindData d{};
  if (parts->empty()) {
    if (makeEntry("java", S.phone->dir / "java", d)) listing.entries.push_back(d);
  } else {
    std::error_code ec;
    const fs::path dir = diskPath(*parts);
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!endsWith(name, PartSuffix)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (makeEntry(name, dir / name, d)) listing.entries.push_back(d);
    }
  }
  if (listing.entries.empty()) return SGHFS_INVALID_HANDLE;
  *findData = listing.entries[0];
  listing.next = 1;
  const SghfsHandle h = S.nextHandle++;
  S.listings[h] = std::move(listing);
  return h;
}

int32_t FsFindNext(SghfsHandle handle, SghfsFindData* findData) {
  if (OnCable) return cable::findNext(handle, findData);
  const auto it = S.listings.find(handle);
  if (it == S.listings.end() || !findData || it->second.next >= it->second.entries.size()) return 0;
  *findData = it->second.entries[it->second.next++];
  return 1;
}

int32_t FsFindClose(SghfsHandle handle) {
  if (OnCable) return cable::findClose(handle);
  S.listings.erase(handle);
  return 0;
}

int32_t FsGetFile(const char*, char*, int32_t, const void*) { return SGHFS_FILE_NOTSUPPORTED; }

int32_t FsPutFile(const char* localName, char* remoteName, int32_t copyFlags) {
  if (OnCable) return cable::putFile(localName, remoteName, copyFlags);
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
  const fs::path target = diskPath(*parts);
  std::error_code ec;
  if (!fs::is_directory(target.parent_path(), ec) || fs::is_directory(target, ec)) {
    return failPut(SGHFS_FILE_WRITEERROR, ansi("Нет такой папки в телефоне: ") + name, "put " + name + " refused");
  }
  const Fd in(::open(local.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat source {};
  if (in.fd < 0 || ::fstat(in.fd, &source) != 0 || !S_ISREG(source.st_mode)) {
    return failPut(in.fd < 0 && errno == ENOENT ? SGHFS_FILE_NOTFOUND : SGHFS_FILE_READERROR,
                   ansi("Не найден файл ") + local, "put " + name + " failed: no source");
  }
  const bool replacing = fs::exists(target, ec);
  if (replacing && !(copyFlags & SGHFS_COPY_OVERWRITE)) {
    return failPut(SGHFS_FILE_EXISTS, ansi("Файл уже есть в телефоне: ") + name, "put " + name + " exists");
  }
  const long long size = source.st_size;
  const Phone& phone = *S.phone;
  // A file that replaces an older copy is written beside it first, so a failed copy keeps the old one.
  const fs::path writeTo = replacing ? fs::path(target.string() + PartSuffix) : target;
  Fd out(::open(writeTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.fd < 0) {
    return failPut(SGHFS_FILE_WRITEERROR, ansi("Нет места в телефоне для ") + name, "put " + name + " failed");
  }

  auto percent = [&](long long done) { return static_cast<int32_t>(size > 0 ? done * 100 / size : 100); };
  auto abandon = [&](int32_t code, const std::string& text, const std::string& what) {
    out.close();
    fs::remove(writeTo, ec);
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
    const long long got = want > 0 ? copyBlock(in.fd, out.fd, static_cast<std::size_t>(want), block) : 0;
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
    if (S.progress && S.progress(S.pluginNr, local.c_str(), name.c_str(), percent(done)) != 0) {
      return abandon(SGHFS_FILE_USERABORT, ansi("Передача прервана: ") + name, "aborted");
    }
  }
  if (!out.close()) return abandon(SGHFS_FILE_WRITEERROR, ansi("Ошибка записи: ") + name, "failed: write error");
  std::error_code renamed;
  if (replacing) fs::rename(writeTo, target, renamed);
  if (renamed) return abandon(SGHFS_FILE_WRITEERROR, ansi("Ошибка записи: ") + name, "failed: rename");
  if (name.size() <= SGHFS_MAX_TEXT) put(remoteName, name);
  operation("put " + name + " " + std::to_string(done));
  log(SGHFS_MSG_TRANSFERCOMPLETE, ansi("Записан файл ") + name + " (" + std::to_string(done) + ansi(" байт)"));
  return SGHFS_FILE_OK;
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

int32_t FsCompileJava(int32_t, SghfsJavaListProc listProc) {
  if (OnCable) return cable::compileJava();
  if (!S.phone) {
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Нет соединения с телефоном"));
    return 0;
  }
  if (S.phone->refuseRebuild) {
    operation("rebuild refused");
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Телефон не смог перестроить список Java"));
    return 0;
  }
  const fs::path java = S.phone->dir / "java";
  std::error_code ec;
  std::vector<std::string> files;
  for (fs::directory_iterator it(java, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(ec) && endsWith(lower(name), "_suite.jad")) files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> present;
  for (const std::string& f : files) present.push_back(midletName(java / f));

  // Entries already listed keep their order; new ones follow in file-name order; gone ones are dropped.
  std::vector<std::string> list;
  std::vector<bool> taken(present.size(), false);
  const auto old = readWhole(S.phone->dir / "javalist.txt");
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

  S.javaList = list;
  if (listProc) {
    S.rebuilding = true;
    listProc(static_cast<int32_t>(S.javaList.size()));
    S.rebuilding = false;
  }
  std::string text;
  for (const std::string& e : S.javaList) text += e + "\r\n";
  if (!writeWhole(S.phone->dir / "javalist.txt", text)) {
    operation("rebuild failed");
    log(SGHFS_MSG_IMPORTANTERROR, ansi("Не удалось сохранить список Java"));
    return 0;
  }
  operation("rebuild " + std::to_string(S.javaList.size()) + " entries");
  log(SGHFS_MSG_DETAILS, ansi("Список Java перестроен: ") + std::to_string(S.javaList.size()));
  return 1;
}

int32_t FsJavaGetList(char* buffer) {
  if (!S.rebuilding) {
    put(buffer, "");
    return 0;
  }
  put(buffer, joinList(S.javaList, SGHFS_MAX_TEXT));
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
