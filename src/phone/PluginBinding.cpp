#include "phone/PluginBinding.h"

#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "common/DynLib.h"

namespace PluginBinding {

std::string PluginVersion;

namespace {

const char* const SetupOptions = "PIMS=0,AutoBmpAni=1,AutoAniBmp=1,AutoMmfMel=1,AutoMelMmf=1,NewFMMode=1";

struct EntryPoints {
  SghfsFsInit FsInit = nullptr;
  SghfsFsSetup FsSetup = nullptr;
  SghfsFsConnect FsConnect = nullptr;
  SghfsFsDisconnect FsDisconnect = nullptr;
  SghfsFsSendCommand FsSendCommand = nullptr;
  SghfsFsFindFirst FsFindFirst = nullptr;
  SghfsFsFindNext FsFindNext = nullptr;
  SghfsFsFindClose FsFindClose = nullptr;
  SghfsFsGetFile FsGetFile = nullptr;
  SghfsFsPutFile FsPutFile = nullptr;
  SghfsFsDeleteFile FsDeleteFile = nullptr;
  SghfsFsRenMovFile FsRenMovFile = nullptr;
  SghfsFsGetDefRootName FsGetDefRootName = nullptr;
  SghfsFsExecuteFile FsExecuteFile = nullptr;
  SghfsFsVersion FsVersion = nullptr;
  SghfsFsIsBusy FsIsBusy = nullptr;
  SghfsFsCompileJava FsCompileJava = nullptr;
  SghfsFsJavaGetList FsJavaGetList = nullptr;
  SghfsFsJavaSetList FsJavaSetList = nullptr;
  SghfsFsIsConnected FsIsConnected = nullptr;  // optional, beyond the 19 of the standard table
};

std::unique_ptr<quorrel::DynLib> PluginHandle;
EntryPoints Fs;
std::uint8_t Connected = 0;
LogHandler OnLog;
ProgressHandler OnProgress;
JavaListHandler OnJavaList;
// An error thrown by a handler inside a callback; it must not unwind through the plugin, so it is kept and
// thrown again once the plugin call returns.
std::exception_ptr CallbackError;
// While the phone rebuilds its Java list: the important errors it reports (a plugin's way of telling the user
// that something failed).
bool CollectingErrors = false;
std::vector<std::string> CollectedErrors;

using Buffer = std::vector<char>;
Buffer zeroBuffer() { return Buffer(SGHFS_BUFFER_SIZE, '\0'); }
std::string textOf(const Buffer& b) { return std::string(b.data(), ::strnlen(b.data(), b.size())); }
// A text in a fresh buffer; false when it does not fit.
bool fill(Buffer& b, const std::string& text) {
  if (text.size() > MaxText) return false;
  std::memcpy(b.data(), text.data(), text.size());
  b[text.size()] = '\0';
  return true;
}

void rethrowCallbackError() {
  if (CallbackError) std::rethrow_exception(std::exchange(CallbackError, nullptr));
}

template <typename Body>
void shielded(Body&& body) {
  try {
    body();
  } catch (...) {
    if (!CallbackError) CallbackError = std::current_exception();
  }
}

int32_t PluginProgressProc(int32_t, const char* source, const char* target, int32_t percent) {
  if (OnProgress) shielded([&] { OnProgress(source ? source : "", target ? target : "", percent); });
  return 0;
}

void PluginLogProc(int32_t, int32_t type, const char* text) {
  if (CollectingErrors && type == SGHFS_MSG_IMPORTANTERROR)
    shielded([&] { CollectedErrors.emplace_back(text ? text : ""); });
  if (OnLog) shielded([&] { OnLog(text ? text : ""); });
}

int32_t PluginRequestProc(int32_t, int32_t, const char*, const char*, char*, int32_t) { return -1; }

void PluginJavaListProc(int32_t) {
  if (!OnJavaList || !Fs.FsJavaGetList || !Fs.FsJavaSetList) return;
  Buffer buffer = zeroBuffer();
  Fs.FsJavaGetList(buffer.data());
  std::string list = textOf(buffer);
  bool handled = false;
  shielded([&] {
    OnJavaList(list);
    handled = true;
  });
  // A list that the handler failed on, or that grew past the buffer, is not written back: the phone keeps
  // the order it has rather than a cut or half-made one.
  if (!handled) return;
  Buffer out = zeroBuffer();
  if (fill(out, list)) Fs.FsJavaSetList(out.data());
}

template <typename F>
void resolve(const quorrel::DynLib& lib, F& entry, const char* name) {
  entry = reinterpret_cast<F>(lib.symbol(name));
}

EntryPoints resolveAll(const quorrel::DynLib& lib) {
  EntryPoints e;
  resolve(lib, e.FsInit, "FsInit");
  resolve(lib, e.FsSetup, "FsSetup");
  resolve(lib, e.FsConnect, "FsConnect");
  resolve(lib, e.FsDisconnect, "FsDisconnect");
  resolve(lib, e.FsSendCommand, "FsSendCommand");
  resolve(lib, e.FsFindFirst, "FsFindFirst");
  resolve(lib, e.FsFindNext, "FsFindNext");
  resolve(lib, e.FsFindClose, "FsFindClose");
  resolve(lib, e.FsGetFile, "FsGetFile");
  resolve(lib, e.FsPutFile, "FsPutFile");
  resolve(lib, e.FsDeleteFile, "FsDeleteFile");
  resolve(lib, e.FsRenMovFile, "FsRenMovFile");
  resolve(lib, e.FsGetDefRootName, "FsGetDefRootName");
  resolve(lib, e.FsExecuteFile, "FsExecuteFile");
  resolve(lib, e.FsVersion, "FsVersion");
  resolve(lib, e.FsIsBusy, "FsIsBusy");
  resolve(lib, e.FsCompileJava, "FsCompileJava");
  resolve(lib, e.FsJavaGetList, "FsJavaGetList");
  resolve(lib, e.FsJavaSetList, "FsJavaSetList");
  resolve(lib, e.FsIsConnected, "FsIsConnected");
  return e;
}

// Every export the binding calls without checking first. The Java list exports are optional: without
// FsCompileJava nothing is compiled, and without FsJavaGetList or FsJavaSetList the list is not ordered.
bool complete(const EntryPoints& e) {
  return e.FsInit && e.FsSetup && e.FsConnect && e.FsDisconnect && e.FsSendCommand && e.FsFindFirst && e.FsFindNext &&
         e.FsFindClose && e.FsPutFile && e.FsVersion;
}

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string trimmed(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && isTrimmed(s[b])) ++b;
  while (e > b && isTrimmed(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool isBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace

CommandReply splitReply(const std::string& reply) {
  std::size_t n = reply.size();
  while (n > 0 && isBreak(reply[n - 1])) --n;
  while (n > 0 && !isBreak(reply[n - 1])) --n;
  return CommandReply{trimmed(reply.substr(n)), trimmed(reply.substr(0, n))};
}

bool LoadPlugin(const std::string& libraryName) {
  auto lib = std::make_unique<quorrel::DynLib>();
  if (!lib->open(libraryName)) return false;
  const EntryPoints entries = resolveAll(*lib);
  if (!complete(entries)) return false;  // released again as `lib` goes

  UnloadPlugin();
  PluginHandle = std::move(lib);
  Fs = entries;
  Fs.FsInit(0, PluginProgressProc, PluginLogProc, PluginRequestProc);
  Buffer version = zeroBuffer();
  Fs.FsVersion(version.data());
  PluginVersion = textOf(version);
  Connected = 0;
  return true;
}

void UnloadPlugin() {
  if (Connected) PluginDisconnect();
  if (PluginHandle) PluginHandle->close();
  PluginHandle.reset();
  Fs = EntryPoints{};
  Connected = 0;
  // The handlers belong to the window that connected; nothing may reach them once the plugin is gone.
  OnLog = nullptr;
  OnProgress = nullptr;
  OnJavaList = nullptr;
  CallbackError = nullptr;
}

bool PluginLoaded() { return PluginHandle != nullptr; }

bool PluginConnected() { return Connected != 0; }

std::int32_t PluginConnect(std::uint8_t port, std::int32_t speed, LogHandler log, ProgressHandler progress) {
  if (!PluginHandle && !LoadPlugin("sghfs.wfx")) return 0;
  Fs.FsSetup(0, 0, port, speed, SetupOptions);
  const std::int32_t r = Fs.FsConnect();
  Connected = (r & 0xFF) != 0 ? 1 : 0;
  OnLog = std::move(log);
  OnProgress = std::move(progress);
  rethrowCallbackError();
  return r;
}

void PluginDisconnect() {
  if (!Connected) return;
  Connected = 0;
  if (Fs.FsDisconnect) Fs.FsDisconnect("\\");
}

CommandReply PluginSendCommand(const std::string& command) {
  if (!PluginHandle) return {};
  Buffer reply = zeroBuffer();
  Fs.FsSendCommand(command.c_str(), reply.data());
  rethrowCallbackError();
  return splitReply(textOf(reply));
}

SghfsHandle PluginFindFirst(const std::string& path, SghfsFindData& findData) {
  if (!PluginHandle) return SGHFS_INVALID_HANDLE;
  const SghfsHandle h = Fs.FsFindFirst(path.c_str(), &findData);
  rethrowCallbackError();
  return h;
}

bool PluginFindNext(SghfsHandle handle, SghfsFindData& findData) {
  if (!PluginHandle) return false;
  const bool more = Fs.FsFindNext(handle, &findData) != 0;
  rethrowCallbackError();
  return more;
}

void PluginFindClose(SghfsHandle handle) {
  if (!PluginHandle) return;
  Fs.FsFindClose(handle);
  rethrowCallbackError();
}

std::int32_t PluginPutFile(const std::string& localPath, std::string& remoteName, bool overwrite,
                           std::vector<std::string>* errors) {
  Buffer remote = zeroBuffer();
  if (!PluginHandle || !fill(remote, remoteName)) return SGHFS_FILE_NOTSUPPORTED;
  CollectedErrors.clear();
  CollectingErrors = errors != nullptr;
  const std::int32_t r = Fs.FsPutFile(localPath.c_str(), remote.data(), overwrite ? SGHFS_COPY_OVERWRITE : 0);
  CollectingErrors = false;
  if (errors) *errors = std::exchange(CollectedErrors, {});
  remoteName = textOf(remote);
  rethrowCallbackError();
  return r;
}

bool PluginLostConnection() { return Connected && PluginHandle && Fs.FsIsConnected && Fs.FsIsConnected() == 0; }

bool PluginCompileJava(bool flag, JavaListHandler handler, std::vector<std::string>* errors) {
  if (!PluginHandle || !Fs.FsCompileJava) return false;
  SghfsJavaListProc callback = nullptr;
  if (handler) {
    OnJavaList = std::move(handler);
    callback = PluginJavaListProc;
  }
  CollectedErrors.clear();
  CollectingErrors = true;
  Fs.FsCompileJava(flag ? 1 : 0, callback);
  CollectingErrors = false;
  if (errors) *errors = std::exchange(CollectedErrors, {});
  rethrowCallbackError();
  return true;
}

}  // namespace PluginBinding
