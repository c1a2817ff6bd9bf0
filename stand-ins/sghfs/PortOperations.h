#pragma once
// What the plugin's exports do on a port, whatever carries the phone there: one table of operations per kind
// of phone (the phone kept in a folder, the phone on a serial cable), chosen once when the port is connected.
// The exports call through the chosen table and never ask which kind of phone it is.
#include <cstdint>

#include "sghfs_abi.h"

namespace sghfs {

struct PortOperations {
  // Lets the phone go before the next connect: a cable is hung up (and says so), a folder phone is forgotten.
  void (*release)();
  // FsDisconnect: 1 when a phone was connected and is let go, 0 when none was.
  int32_t (*disconnect)();
  // Whether the phone can still be reached.
  bool (*connected)();
  int32_t (*sendCommand)(const char* command, char* reply);
  SghfsHandle (*findFirst)(const char* path, SghfsFindData* findData);
  int32_t (*findNext)(SghfsHandle handle, SghfsFindData* findData);
  int32_t (*findClose)(SghfsHandle handle);
  int32_t (*putFile)(const char* localName, char* remoteName, int32_t copyFlags);
  int32_t (*compileJava)(SghfsJavaListProc listProc);
};

}  // namespace sghfs
