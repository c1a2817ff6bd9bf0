#include "CablePhone.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "AtChannel.h"
#include "Codepage.h"
#include "FindListings.h"
#include "FolderListing.h"
#include "ObexClient.h"
#include "PortMap.h"
#include "SerialLine.h"

namespace cable {

namespace {

struct Cable {
  Host host;
  SerialLine line;
  std::string device;
  std::string portName;  // "COM3"
  int timeoutMs = 5000;
  bool alive = false;  // false once the phone went silent or the line was lost in the middle of an exchange
  // The phone ends an OBEX session with the final OK of AT+CPROT=0, as it should; false once it ended one
  // without it, so that later sessions are not held up waiting for it.
  bool okAfterObex = true;
  bool backFromObex = false;              // the last exchange was an OBEX session: the phone may not listen yet
  sghfs::FindListings listings{0x10000};  // apart from the virtual phone's handles
};

Cable C;

void log(int32_t type, const std::string& ansiText) {
  if (C.host.log) C.host.log(C.host.pluginNr, type, ansiText.c_str());
}
// A message of the plugin's own (UTF-8 here) followed by a text that is already ANSI (a phone path).
void say(int32_t type, const std::string& utf8, const std::string& ansiTail = std::string()) {
  log(type, sghfs::utf8ToAnsi(utf8) + ansiTail);
}

void put(char* buffer, const std::string& text) {
  if (!buffer) return;
  const std::size_t n = std::min<std::size_t>(text.size(), SGHFS_MAX_TEXT);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string where() { return C.device + " (" + C.portName + ")"; }

// The line went silent or away in the middle of an exchange: the phone's state is unknown from here on, so
// every later call fails at once until the user connects again.
void lost(AtStatus status, const std::string& doing) {
  C.alive = false;
  if (status == AtStatus::LineLost) {
    say(SGHFS_MSG_IMPORTANTERROR, "Связь с телефоном потеряна (" + where() + "): ", doing);
  } else {
    say(SGHFS_MSG_IMPORTANTERROR, "Телефон не отвечает (" + where() + "): ", doing);
  }
}

bool usable() {
  if (C.line.isOpen() && C.alive) return true;
  say(SGHFS_MSG_IMPORTANTERROR,
      C.line.isOpen() ? "Нет связи с телефоном: соединитесь с ним заново" : "Нет соединения с телефоном");
  return false;
}

// Phone path -> its components (ANSI); none when it climbs out or is empty where a name is needed.
std::optional<std::vector<std::string>> components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    const char c = i < path.size() ? path[i] : '/';
    if (c == '/' || c == '\\') {
      if (part == "..") return std::nullopt;
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else if (static_cast<unsigned char>(c) < 32) {
      return std::nullopt;
    } else {
      part += c;
    }
  }
  return parts;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string name;
  for (const std::string& p : parts) name += "/" + p;
  return name.empty() ? "/" : name;
}

bool lineGivenUp(ObexFailure f) { return f == ObexFailure::NoAnswer || f == ObexFailure::LineLost; }

void lost(ObexFailure f, const std::string& doing) {
  lost(f == ObexFailure::LineLost ? AtStatus::LineLost : AtStatus::NoAnswer, doing);
}

// After the reply to DISCONNECT the phone is back in AT mode and says so with the final OK of AT+CPROT=0, in
// the same write or a while later. It is read here, however its bytes come, so that it is not taken for the
// answer to the next command. A phone that sends none is waited for once, for the time-out.
bool backToAtMode(const std::string& pending, const std::string& doing) {
  C.backFromObex = true;
  if (!C.okAfterObex) return true;
  AtReplyReader reader("AT+CPROT=0");
  const AtResult r = readReply(C.line, reader, pending, C.timeoutMs);
  if (r.status == AtStatus::LineLost) {
    lost(r.status, doing);
    return false;
  }
  if (r.status == AtStatus::NoAnswer) C.okAfterObex = false;
  return true;
}

// Switches the line to OBEX, connects to the phone's folder browsing service, runs `body`, disconnects and
// returns the line to AT mode. False, with one log line, when anything on the way fails. A request that the
// phone refuses fails `body` but not the session: it is ended as any other, and the phone is ready for the
// next one.
bool obexSession(const std::string& doing, const std::function<bool(ObexClient&)>& body) {
  if (C.backFromObex) {
    const AtResult w = wakePhone(C.line, C.timeoutMs);
    if (w.status != AtStatus::Answered) {
      lost(w.status, doing);
      return false;
    }
    C.backFromObex = false;
  }
  const AtResult r = enterObexMode(C.line, C.timeoutMs);
  if (r.status != AtStatus::Answered) {
    lost(r.status, doing);
    return false;
  }
  if (!r.ok) {
    say(SGHFS_MSG_IMPORTANTERROR,
        "Телефон не поддерживает передачу файлов OBEX (AT+CPROT=0: " + r.finalCode + "): ", doing);
    return false;
  }
  ObexClient client(C.line, C.timeoutMs, r.leftover);
  const bool ok = client.connect() && body(client);
  const ObexFailure f = client.failure();
  if (lineGivenUp(f)) {
    lost(f, doing);
    return false;
  }
  if (f == ObexFailure::Refused) {
    say(SGHFS_MSG_IMPORTANTERROR, "Телефон отказал (ответ OBEX " + describeResponse(client.response()) + "): ", doing);
  } else if (f == ObexFailure::Aborted) {
    say(SGHFS_MSG_IMPORTANTERROR, "Передача прервана: ", doing);
  } else if (f == ObexFailure::Broken) {
    say(SGHFS_MSG_IMPORTANTERROR, "Ошибка обмена с телефоном: ", doing);
  }
  // After a broken exchange the phone's state is unknown.
  if (f == ObexFailure::Broken || f == ObexFailure::Aborted) {
    C.alive = false;
    return false;
  }
  // A phone that answers DISCONNECT with an error has still answered, and ends the session all the same.
  if (!client.disconnect() && client.failure() != ObexFailure::Refused) {
    if (lineGivenUp(client.failure())) {
      lost(client.failure(), doing);
    } else {
      C.alive = false;
      say(SGHFS_MSG_IMPORTANTERROR, "Ошибка обмена с телефоном: ", doing);
    }
    return false;
  }
  return backToAtMode(client.leftover(), doing) && ok;
}

SghfsFileTime fileTime(std::int64_t t) {
  if (t <= 0) return SghfsFileTime{0, 0};
  const unsigned long long v = (static_cast<unsigned long long>(t) + 11644473600ULL) * 10000000ULL;
  return SghfsFileTime{static_cast<uint32_t>(v & 0xFFFFFFFFu), static_cast<uint32_t>(v >> 32)};
}

bool findEntry(const ListingEntry& e, SghfsFindData& d) {
  const std::string name = sghfs::utf8ToAnsi(e.name);
  if (name.empty() || name.size() >= SGHFS_MAX_PATH) return false;
  d = SghfsFindData{};
  d.dwFileAttributes = e.folder ? SGHFS_ATTR_DIRECTORY : SGHFS_ATTR_ARCHIVE;
  d.nFileSizeHigh = static_cast<uint32_t>(e.size >> 32);
  d.nFileSizeLow = static_cast<uint32_t>(e.size & 0xFFFFFFFFu);
  d.ftCreationTime = d.ftLastAccessTime = d.ftLastWriteTime = fileTime(e.modified);
  std::memcpy(d.cFileName, name.c_str(), name.size() + 1);
  return true;
}

bool enter(ObexClient& c, const std::vector<std::string>& folders) {
  for (const std::string& f : folders) {
    if (!c.setPath(f)) return false;
  }
  return true;
}

}  // namespace

std::string openFailureText(OpenError error, int err, const std::string& device, const std::string& portName) {
  const std::string at = device + " (" + portName + ")";
  switch (error) {
    case OpenError::NoDevice:
      return "Нет устройства " + at + ": телефон не подключен";
    case OpenError::NoPermission:
      return "Нет прав на " + at + " (войдите в группу dialout)";
    case OpenError::Busy:
      return "Порт " + at + " занят другой программой";
    case OpenError::NotATerminal:
      return at + " не последовательный порт";
    default:
      return "Не открывается " + at + ": " + std::strerror(err);
  }
}

namespace {

bool connected() { return C.line.isOpen() && C.alive; }

int32_t disconnect() {
  C.listings.clear();
  if (!C.line.isOpen()) return 0;
  C.line.close();
  C.alive = false;
  say(SGHFS_MSG_DISCONNECT, "Соединение с телефоном закрыто");
  return 1;
}

void release() { disconnect(); }

int32_t sendCommand(const char* command, char* reply) {
  put(reply, "");
  if (!usable()) return 0;
  const std::string cmd = command ? command : "";
  const AtResult r = runAtCommand(C.line, cmd, C.timeoutMs);
  if (r.status != AtStatus::Answered) {
    lost(r.status, cmd.substr(0, std::min<std::size_t>(cmd.find_first_of("\r\n"), 200)));
    return 0;
  }
  put(reply, r.text);
  return 1;
}

SghfsHandle findFirst(const char* path, SghfsFindData* findData) {
  if (!findData || !usable()) return SGHFS_INVALID_HANDLE;
  const auto parts = components(path ? path : "");
  if (!parts) return SGHFS_INVALID_HANDLE;
  std::optional<std::vector<ListingEntry>> entries;
  const std::string name = joined(*parts);
  const bool ok = obexSession(sghfs::utf8ToAnsi("список ") + name, [&](ObexClient& c) {
    if (!enter(c, *parts)) return false;
    const auto xml = c.getListing();
    if (!xml) return false;
    entries = parseFolderListing(*xml);
    return true;
  });
  if (!ok) return SGHFS_INVALID_HANDLE;
  if (!entries) {
    say(SGHFS_MSG_IMPORTANTERROR, "Телефон прислал неверный список папки ", name);
    return SGHFS_INVALID_HANDLE;
  }
  std::vector<SghfsFindData> found;
  SghfsFindData d{};
  for (const ListingEntry& e : *entries) {
    if (findEntry(e, d)) found.push_back(d);
  }
  return C.listings.open(std::move(found), findData);
}

int32_t findNext(SghfsHandle handle, SghfsFindData* findData) { return C.listings.next(handle, findData); }

int32_t findClose(SghfsHandle handle) {
  C.listings.close(handle);
  return 0;
}

int32_t putFile(const char* localName, char* remoteName, int32_t copyFlags) {
  const std::string local = localName ? localName : "";
  const std::string remote = remoteName ? remoteName : "";
  if (!usable()) return SGHFS_FILE_WRITEERROR;
  auto parts = components(remote);
  if (!parts || parts->empty()) {
    say(SGHFS_MSG_IMPORTANTERROR, "Недопустимое имя в телефоне: ", remote);
    return SGHFS_FILE_WRITEERROR;
  }
  const std::string name = joined(*parts);
  const int fd = ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool missing = fd < 0 && errno == ENOENT;
    if (fd >= 0) ::close(fd);
    log(SGHFS_MSG_IMPORTANTERROR, sghfs::utf8ToAnsi("Не найден файл ") + sghfs::nameToAnsi(local));
    return missing ? SGHFS_FILE_NOTFOUND : SGHFS_FILE_READERROR;
  }
  const std::string file = parts->back();
  parts->pop_back();
  const auto size = static_cast<std::uint64_t>(st.st_size);
  bool exists = false;
  bool readError = false;
  const bool ok = obexSession(sghfs::utf8ToAnsi("передача ") + name, [&](ObexClient& c) {
    if (!enter(c, *parts)) return false;
    if (!(copyFlags & SGHFS_COPY_OVERWRITE)) {
      const auto xml = c.getListing();
      if (!xml) return false;
      if (const auto entries = parseFolderListing(*xml)) {
        for (const ListingEntry& e : *entries) exists = exists || sghfs::utf8ToAnsi(e.name) == file;
      }
      if (exists) return false;
    }
    const auto read = [&](char* buffer, std::size_t n) -> long {
      const ssize_t got = ::read(fd, buffer, n);
      if (got < 0) readError = true;
      return static_cast<long>(got);
    };
    const auto progress = [&](std::uint64_t sent) {
      const auto percent = static_cast<int32_t>(size > 0 ? sent * 100 / size : 100);
      return !C.host.progress || C.host.progress(C.host.pluginNr, local.c_str(), name.c_str(), percent) == 0;
    };
    return c.put(file, size, read, progress);
  });
  ::close(fd);
  if (exists) {
    say(SGHFS_MSG_IMPORTANTERROR, "Файл уже есть в телефоне: ", name);
    return SGHFS_FILE_EXISTS;
  }
  if (!ok) return readError ? SGHFS_FILE_READERROR : SGHFS_FILE_WRITEERROR;
  if (name.size() <= SGHFS_MAX_TEXT) put(remoteName, name);
  say(SGHFS_MSG_TRANSFERCOMPLETE, "Записан файл ", name + sghfs::utf8ToAnsi(" (" + std::to_string(size) + " байт)"));
  return SGHFS_FILE_OK;
}

int32_t compileJava(SghfsJavaListProc) {
  say(SGHFS_MSG_IMPORTANTERROR, "Телефон на " + (C.portName.empty() ? std::string("кабеле") : C.portName) +
                                    " не знает команд списка Java: список не перестроен");
  return SGHFS_FILE_NOTSUPPORTED;
}

}  // namespace

const sghfs::PortOperations operations{release, disconnect, connected, sendCommand, findFirst,
                                       findNext, findClose,  putFile,   compileJava};

int32_t connect(const Host& host, int32_t port, int32_t speed) {
  disconnect();
  C.host = host;
  C.portName = "COM" + std::to_string(port);
  const PortMap map = readPortMap();
  C.timeoutMs = map.timeoutMs;
  C.device = deviceForPort(port, map, scanDevices());
  if (C.device.empty()) return -1;  // no cable either: the caller reports the port as empty
  if (!C.line.open(C.device, speed)) {
    say(SGHFS_MSG_IMPORTANTERROR, openFailureText(C.line.error(), C.line.errnoValue(), C.device, C.portName));
    return 0;
  }
  // Echo off; a phone that wakes slowly gets a second try.
  AtResult r;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = runAtCommand(C.line, "ATE0", C.timeoutMs);
    if (r.status != AtStatus::NoAnswer) break;
  }
  if (r.status != AtStatus::Answered) {
    say(SGHFS_MSG_IMPORTANTERROR, r.status == AtStatus::LineLost ? "Связь с телефоном потеряна (" + where() + ")"
                                                                 : "Телефон на " + where() + " не отвечает");
    C.line.close();
    return 0;
  }
  C.alive = true;
  C.okAfterObex = true;
  C.backFromObex = false;
  say(SGHFS_MSG_CONNECT, "Подключен телефон на " + where() + ", " + std::to_string(C.line.speed()) + " бод");
  return 1;
}

}  // namespace cable
