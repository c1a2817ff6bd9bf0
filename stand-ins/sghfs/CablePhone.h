#pragma once
// A phone on a serial cable (USB, serial or Bluetooth serial port): AT commands for identification and
// FsSendCommand, OBEX File Transfer (after AT+CPROT=0) for listing folders and putting files. The plugin's
// exports forward here for a port that has no virtual phone.
#include <cstdint>
#include <string>

#include "SerialLine.h"

#include "sghfs_abi.h"

namespace cable {

struct Host {
  int32_t pluginNr = 0;
  SghfsProgressProc progress = nullptr;
  SghfsLogProc log = nullptr;
};

// The log line (UTF-8) for a device that could not be opened.
std::string openFailureText(OpenError error, int err, const std::string& device, const std::string& portName);

// Opens the port's device and greets the phone: 1 when it answered, 0 (with a log line that says why) when
// it did not, -1 (and no log line) when no device stands behind the port.
int32_t connect(const Host& host, int32_t port, int32_t speed);
// Whether the line is open and still usable: false once the plugin gave it up in the middle of an exchange.
bool connected();
int32_t disconnect();
int32_t sendCommand(const char* command, char* reply);
SghfsHandle findFirst(const char* path, SghfsFindData* findData);
int32_t findNext(SghfsHandle handle, SghfsFindData* findData);
int32_t findClose(SghfsHandle handle);
int32_t putFile(const char* localName, char* remoteName, int32_t copyFlags);
// A phone on a cable has no Java list commands: nothing is rebuilt, the list callback is not called, and the
// answer is SGHFS_FILE_NOTSUPPORTED with a log line.
int32_t compileJava();

}  // namespace cable
