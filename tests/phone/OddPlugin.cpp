// A phone plugin with behaviour chosen by the test: it records every call it gets and answers as configured.
// Built several times; ODD_WITHOUT_<export> leaves that export out.
//
// Configuration keys (OddConfigure): connect (FsConnect result), version, reply, remote (name written back by
// FsPutFile), put_result, log_on_connect, progress_on_connect, request_on_connect, find ("name:size|dir:<DIR>"),
// endless_find (FsFindNext never says "no more"), list (the Java list). A value "#N:c" stands for N copies of
// the character c.
//
// With fail_every_call set, every call fails: it writes nothing into the host's buffers, finds nothing, copies
// nothing, rebuilds nothing, and reports each failure through the host's log callback. Only the connect can
// still be told to succeed (connect), so that the calls made while connected fail too; otherwise its result
// has a zero lowest byte above non-zero ones.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sghfs_abi.h"

namespace {

std::map<std::string, std::string> Config;
std::string Trace;
std::string LastSetList;
SghfsProgressProc Progress = nullptr;
SghfsLogProc Log = nullptr;
SghfsRequestProc Request = nullptr;
std::vector<SghfsFindData> Entries;
std::size_t NextEntry = 0;

std::string value(const std::string& key, const std::string& fallback = "") {
  const auto it = Config.find(key);
  if (it == Config.end()) return fallback;
  const std::string& v = it->second;
  if (v.size() > 3 && v[0] == '#') {
    const auto colon = v.find(':');
    return std::string(std::strtoul(v.c_str() + 1, nullptr, 10), v[colon + 1]);
  }
  return v;
}

bool has(const std::string& key) { return Config.count(key) != 0; }

void record(const std::string& line) { Trace += line + "\n"; }

bool failing() { return has("fail_every_call"); }

int32_t failed(const char* call, int32_t result = -1) {
  if (Log) Log(0, SGHFS_MSG_IMPORTANTERROR, (std::string(call) + " failed").c_str());
  return result;
}

void write(char* buffer, const std::string& text) {
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

}  // namespace

extern "C" {

SGHFS_EXPORT void OddConfigure(const char* key, const char* text) { Config[key] = text; }
SGHFS_EXPORT const char* OddTrace() { return Trace.c_str(); }
SGHFS_EXPORT const char* OddLastSetList() { return LastSetList.c_str(); }
SGHFS_EXPORT void OddClearTrace() { Trace.clear(); }
SGHFS_EXPORT void OddReset() {
  Config.clear();
  Trace.clear();
  LastSetList.clear();
}

int32_t FsInit(int32_t pluginNr, SghfsProgressProc progress, SghfsLogProc log, SghfsRequestProc request) {
  record("FsInit " + std::to_string(pluginNr) + (progress && log && request ? " callbacks" : " missing"));
  Progress = progress;
  Log = log;
  Request = request;
  return failing() ? -1 : 0;
}

int32_t FsSetup(int32_t a, int32_t b, int32_t port, int32_t speed, const char* options) {
  record("FsSetup " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(port) + " " +
         std::to_string(speed) + " " + options);
  if (failing()) return failed("FsSetup");
  return 0;
}

int32_t FsConnect(void) {
  record("FsConnect");
  if (failing() && !has("connect")) return failed("FsConnect", 0x100);
  if (has("log_on_connect")) Log(0, SGHFS_MSG_CONNECT, value("log_on_connect").c_str());
  if (has("progress_on_connect")) Progress(0, "src", value("progress_on_connect").c_str(), 42);
  if (has("request_on_connect")) {
    char answer[16] = "kept";
    const int32_t r = Request(0, SGHFS_REQUEST_CONFIRM, "title", "text", answer, sizeof answer);
    record("request " + std::to_string(r) + " " + answer);
  }
  return static_cast<int32_t>(std::strtol(value("connect", "1").c_str(), nullptr, 0));
}

int32_t FsDisconnect(const char* root) {
  record(std::string("FsDisconnect ") + root);
  if (failing()) return failed("FsDisconnect");
  return 1;
}

#ifndef ODD_WITHOUT_FSSENDCOMMAND
int32_t FsSendCommand(const char* command, char* reply) {
  record(std::string("FsSendCommand ") + command);
  if (failing()) return failed("FsSendCommand");
  write(reply, value("reply", std::string("VALUE\r\n\r\nOK\r\n")));
  return 1;
}
#endif

SghfsHandle FsFindFirst(const char* path, SghfsFindData* d) {
  record(std::string("FsFindFirst ") + path);
  if (failing()) return failed("FsFindFirst", SGHFS_INVALID_HANDLE);
  Entries.clear();
  NextEntry = 0;
  std::string entries = value("find");
  while (!entries.empty()) {
    const auto bar = entries.find('|');
    const std::string item = entries.substr(0, bar);
    entries = bar == std::string::npos ? "" : entries.substr(bar + 1);
    const auto colon = item.find(':');
    SghfsFindData e{};
    const std::string name = item.substr(0, colon);
    std::memcpy(e.cFileName, name.c_str(), name.size() + 1);
    const std::string what = item.substr(colon + 1);
    if (what == "<DIR>") {
      e.dwFileAttributes = SGHFS_ATTR_DIRECTORY;
    } else {
      const unsigned long long size = std::strtoull(what.c_str(), nullptr, 10);
      e.nFileSizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
      e.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
    }
    Entries.push_back(e);
  }
  if (Entries.empty()) return SGHFS_INVALID_HANDLE;
  *d = Entries[NextEntry++];
  return 7;
}

int32_t FsFindNext(SghfsHandle h, SghfsFindData* d) {
  if (has("endless_find")) return 1;  // the record keeps the last entry
  record("FsFindNext " + std::to_string(h));
  if (failing()) return failed("FsFindNext", 0);
  if (NextEntry >= Entries.size()) return 0;
  *d = Entries[NextEntry++];
  return 1;
}

int32_t FsFindClose(SghfsHandle h) {
  record("FsFindClose " + std::to_string(h));
  if (failing()) return failed("FsFindClose");
  return 0;
}

int32_t FsPutFile(const char* local, char* remote, int32_t flags) {
  record(std::string("FsPutFile ") + local + " " + remote + " " + std::to_string(flags));
  if (failing()) return failed("FsPutFile", SGHFS_FILE_WRITEERROR);
  if (Progress) Progress(0, local, remote, 100);
  if (has("remote")) write(remote, value("remote"));
  return static_cast<int32_t>(std::strtol(value("put_result", "0").c_str(), nullptr, 0));
}

int32_t FsVersion(char* buffer) {
  record("FsVersion");
  if (failing()) return failed("FsVersion");
  write(buffer, value("version", "odd plugin 1.0"));
  return 1;
}

#ifndef ODD_WITHOUT_FSCOMPILEJAVA
int32_t FsCompileJava(int32_t flag, SghfsJavaListProc proc) {
  record("FsCompileJava " + std::to_string(flag) + (proc ? " callback" : " null"));
  if (failing()) return failed("FsCompileJava", 0);
  if (proc) proc(0);
  return 1;
}
#endif

#ifndef ODD_WITHOUT_JAVALIST
int32_t FsJavaGetList(char* buffer) {
  record("FsJavaGetList");
  if (failing()) return failed("FsJavaGetList", 0);
  write(buffer, value("list"));
  return 1;
}

int32_t FsJavaSetList(const char* buffer) {
  record("FsJavaSetList");
  if (failing()) return failed("FsJavaSetList", 0);
  LastSetList = buffer;
  return 1;
}
#endif

}  // extern "C"
