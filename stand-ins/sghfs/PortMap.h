#pragma once
// Which serial device stands behind a port number, and the cable settings of the plugin's map file
// ${XDG_CONFIG_HOME:-~/.config}/sghfs/ports.ini:
//
//   COM3=/dev/ttyACM0        the device of port 3 (one line per port)
//   Timeout=5000             how long to wait for the phone, in milliseconds (every read is bounded by it)
//
// A port without a line is the n-th of the devices found (/dev/ttyACM* first, then /dev/ttyUSB*, each in
// number order): COM1 the first, COM2 the second, and so on.
#include <string>
#include <vector>

namespace cable {

struct PortMap {
  std::vector<std::string> devices;  // index n-1: the device named for COMn, empty when none
  int timeoutMs = 5000;
};

// Reads a map file's text; unknown keys, bad lines and ports outside 1..16 are ignored.
PortMap parsePortMap(const std::string& text);
std::string portMapPath();
PortMap readPortMap();

// The serial devices present, in the order in which unmapped ports take them.
std::vector<std::string> scanDevices(const std::string& devDir = "/dev");

// The device for a port: the map's, else the port-th of `found`; empty when there is none.
std::string deviceForPort(int port, const PortMap& map, const std::vector<std::string>& found);

}  // namespace cable
