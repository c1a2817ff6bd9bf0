// A phone plugin whose answers are the fuzzer's input: its command replies and its Java list are whatever
// the fuzz target hands it through FuzzPluginSetReply / FuzzPluginSetList, and it keeps the list the host
// writes back, for the target to check. It writes at most the 65535 characters and the NUL that every plugin
// buffer holds.
#include <cstring>
#include <string>
#include <vector>

#include "sghfs_abi.h"

namespace {

std::string reply;
std::vector<SghfsFindData> entries;
std::size_t nextEntry = 0;
std::string list;
std::string written;
bool listWritten = false;
SghfsLogProc logProc = nullptr;

void fill(char* buffer, const std::string& text) {
  const std::size_t n = std::min<std::size_t>(text.size(), SGHFS_MAX_TEXT);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

extern "C" {

SGHFS_EXPORT void FuzzPluginSetReply(const char* data, std::size_t size) { reply.assign(data, size); }
SGHFS_EXPORT void FuzzPluginSetList(const char* data, std::size_t size) {
  list.assign(data, size);
  written.clear();
  listWritten = false;
}
SGHFS_EXPORT void FuzzPluginSetEntries(const SghfsFindData* data, std::size_t count) {
  entries.assign(data, data + count);
}
// The list the host wrote back during the last compilation, or null when it wrote none.
SGHFS_EXPORT const std::string* FuzzPluginWrittenList() { return listWritten ? &written : nullptr; }

int32_t FsInit(int32_t, SghfsProgressProc, SghfsLogProc log, SghfsRequestProc) {
  logProc = log;
  return 0;
}
int32_t FsSetup(int32_t, int32_t, int32_t, int32_t, const char*) { return 0; }
int32_t FsConnect(void) { return 1; }
int32_t FsDisconnect(const char*) { return 0; }
int32_t FsSendCommand(const char*, char* buffer) {
  fill(buffer, reply);
  return 0;
}
SghfsHandle FsFindFirst(const char*, SghfsFindData* findData) {
  if (entries.empty()) return SGHFS_INVALID_HANDLE;
  *findData = entries[0];
  nextEntry = 1;
  return 7;
}
int32_t FsFindNext(SghfsHandle, SghfsFindData* findData) {
  if (nextEntry >= entries.size()) return 0;
  *findData = entries[nextEntry++];
  return 1;
}
int32_t FsFindClose(SghfsHandle) { return 0; }
int32_t FsGetFile(const char*, char*, int32_t, const void*) { return SGHFS_FILE_NOTSUPPORTED; }
int32_t FsPutFile(const char*, char*, int32_t) { return SGHFS_FILE_NOTSUPPORTED; }
int32_t FsDeleteFile(const char*) { return 0; }
int32_t FsRenMovFile(const char*, const char*, int32_t, int32_t, const void*) { return SGHFS_FILE_NOTSUPPORTED; }
void FsGetDefRootName(char* name, int32_t maxLen) {
  if (maxLen > 0) name[0] = '\0';
}
int32_t FsExecuteFile(intptr_t, char*, const char*) { return SGHFS_FILE_NOTSUPPORTED; }
int32_t FsVersion(char* buffer) {
  fill(buffer, "fuzz plugin");
  return 0;
}
int32_t FsIsBusy(void) { return 0; }
int32_t FsCompileJava(int32_t, SghfsJavaListProc listProc) {
  if (listProc) listProc(0);
  return 1;
}
int32_t FsJavaGetList(char* buffer) {
  fill(buffer, list);
  return 1;
}
int32_t FsJavaSetList(const char* buffer) {
  // The host promises a NUL within the buffer's 65536 bytes; reading on to it checks that promise.
  written.assign(buffer, ::strnlen(buffer, SGHFS_BUFFER_SIZE));
  listWritten = true;
  return 1;
}

}  // extern "C"
