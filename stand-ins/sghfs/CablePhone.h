#pragma once
// A phone on a serial cable (USB, serial or Bluetooth serial port): AT commands for identification and
// FsSendCommand, OBEX File Transfer (after AT+CPROT=0) for listing folders and putting files. The plugin's
// exports forward here for a port that has no virtual phone.
#include <cstdint>
#include <string>

#include "PortOperations.h"
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
// it did not, -1 (and no log line) when no device stands behind the port. After a 1 the exports go through
// `operations` until the next connect.
int32_t connect(const Host& host, int32_t port, int32_t speed);

// The phone on the cable. It stays connected while the line is open and usable: `connected` is false once the
// plugin gave the line up in the middle of an exchange. A phone on a cable has no Java list commands: its
// compileJava rebuilds nothing, does not call the list callback, and answers SGHFS_FILE_NOTSUPPORTED with a log
// line.
extern const sghfs::PortOperations operations;

}  // namespace cable
