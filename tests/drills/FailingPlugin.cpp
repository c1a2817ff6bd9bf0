// A phone plugin for which every call fails: it writes nothing into the host's buffers, finds nothing,
// copies nothing, rebuilds nothing, and reports each failure through the host's log callback. Only its
// connect can be told to succeed (QUORREL_FAILING_PLUGIN_CONNECTS=1), so that the calls made while connected
// fail too; otherwise its result has a zero lowest byte above non-zero ones.
#include <cstdlib>
#include <string>

#include "sghfs_abi.h"

namespace {

SghfsLogProc logProc = nullptr;

int32_t failed(const char* call, int32_t result = -1) {
  if (logProc) logProc(0, SGHFS_MSG_IMPORTANTERROR, (std::string(call) + " failed").c_str());
  return result;
}

}  // namespace

extern "C" {

int32_t FsInit(int32_t, SghfsProgressProc, SghfsLogProc log, SghfsRequestProc) {
  logProc = log;
  return -1;
}
int32_t FsSetup(int32_t, int32_t, int32_t, int32_t, const char*) { return failed("FsSetup"); }
int32_t FsConnect(void) {
  const char* connects = std::getenv("QUORREL_FAILING_PLUGIN_CONNECTS");
  if (connects && std::string(connects) == "1") return 1;
  return failed("FsConnect", 0x100);
}
int32_t FsDisconnect(const char*) { return failed("FsDisconnect"); }
int32_t FsSendCommand(const char*, char*) { return failed("FsSendCommand"); }
SghfsHandle FsFindFirst(const char*, SghfsFindData*) { return failed("FsFindFirst", SGHFS_INVALID_HANDLE); }
int32_t FsFindNext(SghfsHandle, SghfsFindData*) { return failed("FsFindNext", 0); }
int32_t FsFindClose(SghfsHandle) { return failed("FsFindClose"); }
int32_t FsGetFile(const char*, char*, int32_t, const void*) { return failed("FsGetFile", SGHFS_FILE_READERROR); }
int32_t FsPutFile(const char*, char*, int32_t) { return failed("FsPutFile", SGHFS_FILE_WRITEERROR); }
int32_t FsDeleteFile(const char*) { return failed("FsDeleteFile", 0); }
int32_t FsRenMovFile(const char*, const char*, int32_t, int32_t, const void*) {
  return failed("FsRenMovFile", SGHFS_FILE_WRITEERROR);
}
void FsGetDefRootName(char*, int32_t) { failed("FsGetDefRootName"); }
int32_t FsExecuteFile(intptr_t, char*, const char*) { return failed("FsExecuteFile"); }
int32_t FsVersion(char*) { return failed("FsVersion"); }
int32_t FsIsBusy(void) { return failed("FsIsBusy"); }
int32_t FsCompileJava(int32_t, SghfsJavaListProc) { return failed("FsCompileJava", 0); }
int32_t FsJavaGetList(char*) { return failed("FsJavaGetList", 0); }
int32_t FsJavaSetList(const char*) { return failed("FsJavaSetList", 0); }

}  // extern "C"
