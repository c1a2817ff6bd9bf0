#include "phone/PluginBinding.h"

#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "common/DynLib.h"

namespace PluginBinding {

std::string pluginVersion;

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

std::unique_ptr<quorrel::DynLib> library_;
EntryPoints fs;
std::uint8_t connected_ = 0;
LogHandler logHandler;
ProgressHandler progressHandler;
JavaListHandler javaListHandler;
// An error thrown by a handler inside a callback; it must not unwind through the plugin, so it is kept and
// thrown again once the plugin call returns.
std::exception_ptr callbackError;
// While the phone rebuilds its Java list: the important errors it reports (a plugin's way of telling the user
// that something failed).
bool collectingErrors = false;
std::vector<std::string> collectedErrors;

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
  if (callbackError) std::rethrow_exception(std::exchange(callbackError, nullptr));
}

template <typename Body>
void shielded(Body&& body) {
  try {
    body();
  } catch (...) {
    if (!callbackError) callbackError = std::current_exception();
  }
}

int32_t progressProc(int32_t, const char* source, const char* target, int32_t percent) {
  if (progressHandler) shielded([&] { progressHandler(source ? source : "", target ? target : "", percent); });
  return 0;
}

void logProc(int32_t, int32_t type, const char* text) {
  if (collectingErrors && type == SGHFS_MSG_IMPORTANTERROR)
    shielded([&] { collectedErrors.emplace_back(text ? text : ""); });
  if (logHandler) shielded([&] { logHandler(text ? text : ""); });
}

int32_t requestProc(int32_t, int32_t, const char*, const char*, char*, int32_t) { return -1; }

void javaListProc(int32_t) {
  if (!javaListHandler || !fs.FsJavaGetList || !fs.FsJavaSetList) return;
  Buffer buffer = zeroBuffer();
  fs.FsJavaGetList(buffer.data());
  std::string list = textOf(buffer);
  bool handled = false;
  shielded([&] {
    javaListHandler(list);
    handled = true;
  });
  // A list that the handler failed on, or that grew past the buffer, is not written back: the phone keeps
  // the order it has rather than a cut or half-made one.
  if (!handled) return;
  Buffer out = zeroBuffer();
  if (fill(out, list)) fs.FsJavaSetList(out.data());
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

bool load(const std::string& libraryName) {
  auto lib = std::make_unique<quorrel::DynLib>();
  if (!lib->open(libraryName)) return false;
  const EntryPoints entries = resolveAll(*lib);
  if (!complete(entries)) return false;  // released again as `lib` goes

  unload();
  library_ = std::move(lib);
  fs = entries;
  fs.FsInit(0, progressProc, logProc, requestProc);
  Buffer version = zeroBuffer();
  fs.FsVersion(version.data());
  pluginVersion = textOf(version);
  connected_ = 0;
  return true;
}

void unload() {
  if (connected_) disconnect();
  if (library_) library_->close();
  library_.reset();
  fs = EntryPoints{};
  connected_ = 0;
  // The handlers belong to the window that connected; nothing may reach them once the plugin is gone.
  logHandler = nullptr;
  progressHandler = nullptr;
  javaListHandler = nullptr;
  callbackError = nullptr;
}

bool isLoaded() { return library_ != nullptr; }

bool isConnected() { return connected_ != 0; }

ConnectResult connect(std::uint8_t port, std::int32_t speed, LogHandler log, ProgressHandler progress) {
  if (!library_ && !load("sghfs.wfx")) return ConnectResult::NoPlugin;
  fs.FsSetup(0, 0, port, speed, SetupOptions);
  const std::int32_t r = fs.FsConnect();
  connected_ = (r & 0xFF) != 0 ? 1 : 0;
  logHandler = std::move(log);
  progressHandler = std::move(progress);
  rethrowCallbackError();
  return connected_ ? ConnectResult::Connected : ConnectResult::Refused;
}

void disconnect() {
  if (!connected_) return;
  connected_ = 0;
  if (fs.FsDisconnect) fs.FsDisconnect("\\");
}

CommandReply sendCommand(const std::string& command) {
  if (!library_) return {};
  Buffer reply = zeroBuffer();
  fs.FsSendCommand(command.c_str(), reply.data());
  rethrowCallbackError();
  return splitReply(textOf(reply));
}

SghfsHandle findFirst(const std::string& path, SghfsFindData& findData) {
  if (!library_) return SGHFS_INVALID_HANDLE;
  const SghfsHandle h = fs.FsFindFirst(path.c_str(), &findData);
  rethrowCallbackError();
  return h;
}

bool findNext(SghfsHandle handle, SghfsFindData& findData) {
  if (!library_) return false;
  const bool more = fs.FsFindNext(handle, &findData) != 0;
  rethrowCallbackError();
  return more;
}

void findClose(SghfsHandle handle) {
  if (!library_) return;
  fs.FsFindClose(handle);
  rethrowCallbackError();
}

std::int32_t putFile(const std::string& localPath, std::string& remoteName, bool overwrite,
                     std::vector<std::string>* errors) {
  Buffer remote = zeroBuffer();
  if (!library_ || !fill(remote, remoteName)) return SGHFS_FILE_NOTSUPPORTED;
  collectedErrors.clear();
  collectingErrors = errors != nullptr;
  const std::int32_t r = fs.FsPutFile(localPath.c_str(), remote.data(), overwrite ? SGHFS_COPY_OVERWRITE : 0);
  collectingErrors = false;
  if (errors) *errors = std::exchange(collectedErrors, {});
  remoteName = textOf(remote);
  rethrowCallbackError();
  return r;
}

bool lostConnection() { return connected_ && library_ && fs.FsIsConnected && fs.FsIsConnected() == 0; }

bool compileJava(bool flag, JavaListHandler handler, std::vector<std::string>* errors) {
  if (!library_ || !fs.FsCompileJava) return false;
  SghfsJavaListProc callback = nullptr;
  if (handler) {
    javaListHandler = std::move(handler);
    callback = javaListProc;
  }
  collectedErrors.clear();
  collectingErrors = true;
  fs.FsCompileJava(flag ? 1 : 0, callback);
  collectingErrors = false;
  if (errors) *errors = std::exchange(collectedErrors, {});
  rethrowCallbackError();
  return true;
}

}  // namespace PluginBinding
