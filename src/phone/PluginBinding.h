#pragma once
// Binding of the phone file-system plugin sghfs.wfx: one plugin per process, loaded at start-up (or at the
// first connect) and unloaded at exit. Every call runs on the main thread and blocks it until the plugin
// returns; the plugin reports log lines, progress and Java list requests through callbacks made from within
// those calls. Texts are Windows-1251 bytes.
//
// A library that lacks one of the exports the binding calls (all but the optional FsCompileJava,
// FsJavaGetList, FsJavaSetList and FsIsConnected) is not taken: it counts as not loaded. While no library is loaded the
// operations call nothing and return their failure value.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sghfs_abi.h"

namespace PluginBinding {

using LogHandler = std::function<void(const std::string& text)>;
using ProgressHandler = std::function<void(const std::string& source, const std::string& target, int percent)>;
using JavaListHandler = std::function<void(std::string& list)>;

// The most characters a text exchanged through a plugin buffer may hold.
constexpr std::size_t MaxText = SGHFS_MAX_TEXT;

// The version text the plugin gave at its last successful load; empty while none was loaded.
extern std::string pluginVersion;

bool load(const std::string& libraryName);
// Disconnects when connected, then releases the library. Registered handlers are dropped with it.
void unload();
bool isLoaded();
bool isConnected();

// What a connect came to. The plugin answers with a number whose lowest byte is non-zero when it connected.
enum class ConnectResult { NoPlugin, Refused, Connected };

// Sets up the port (1..16) and speed and connects; loads "sghfs.wfx" first when no library is loaded.
// The handlers are registered after the connect call, whatever its result.
ConnectResult connect(std::uint8_t port, std::int32_t speed, LogHandler log, ProgressHandler progress);
void disconnect();

struct CommandReply {
  std::string status;  // the last line, such as "OK"
  std::string body;    // everything before it
};
CommandReply sendCommand(const std::string& command);

SghfsHandle findFirst(const std::string& path, SghfsFindData& findData);
bool findNext(SghfsHandle handle, SghfsFindData& findData);
void findClose(SghfsHandle handle);

// Copies a local file to the phone; remoteName comes back as the plugin used it. The result is the plugin's
// (0: copied); SGHFS_FILE_NOTSUPPORTED when no plugin is loaded or the name does not fit the buffer.
// `errors`, when given, receives the texts the plugin reported as important errors during the copy.
std::int32_t putFile(const std::string& localPath, std::string& remoteName, bool overwrite,
                     std::vector<std::string>* errors = nullptr);

// Whether the plugin says it gave up the connection made by the last successful connect (a phone that stopped
// answering, a cable pulled): true only while connected and only when the plugin has the optional
// FsIsConnected and it answers 0. Without that export nothing is known beyond the connect's own result.
bool lostConnection();

// Has the phone rebuild its Java list. A handler is given the list text during the rebuild and may reorder
// it; a list that no longer fits a plugin buffer afterwards is not written back (the phone keeps its order).
// False when the plugin has no FsCompileJava (then nothing is called). `errors`, when given, receives the
// texts the plugin reported as important errors during the rebuild, which tell that it failed.
bool compileJava(bool flag, JavaListHandler handler, std::vector<std::string>* errors = nullptr);

// Splits a command reply into its status line and body: the body ends before the last line break, and both
// are trimmed of characters with codes 0 to 32.
CommandReply splitReply(const std::string& reply);

}  // namespace PluginBinding
