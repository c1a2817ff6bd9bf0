#include "PortMap.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "FindListings.h"

namespace cable {

namespace {

// A whole decimal number in [lo, hi], else -1.
long bounded(const std::string& text, long lo, long hi) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  return v >= lo && v <= hi ? v : -1;
}

}  // namespace

PortMap parsePortMap(const std::string& text) {
  PortMap map;
  map.devices.assign(16, std::string());
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && (line[0] == '#' || line[0] == ';')) continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = sghfs::upperAscii(sghfs::trimBlanks(line.substr(0, eq)));
    const std::string value = sghfs::trimBlanks(line.substr(eq + 1));
    if (key.rfind("COM", 0) == 0) {
      const long n = bounded(key.substr(3), 1, 16);
      if (n > 0) map.devices[static_cast<std::size_t>(n - 1)] = value;
    } else if (key == "TIMEOUT") {
      const long ms = bounded(value, 50, 600000);
      if (ms > 0) map.timeoutMs = static_cast<int>(ms);
    }
  }
  return map;
}

std::string portMapPath() {
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/sghfs/ports.ini";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/sghfs/ports.ini";
}

PortMap readPortMap() {
  std::ifstream in(portMapPath(), std::ios::binary);
  std::ostringstream s;
  if (in) s << in.rdbuf();
  return parsePortMap(s.str());
}

std::vector<std::string> scanDevices(const std::string& devDir) {
  std::vector<std::string> found;
  for (const std::string prefix : {"ttyACM", "ttyUSB"}) {
    std::vector<std::pair<long, std::string>> numbered;
    if (DIR* d = ::opendir(devDir.c_str())) {
      while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(prefix, 0) != 0) continue;
        const long n = bounded(name.substr(prefix.size()), 0, 99999);
        if (n >= 0) numbered.emplace_back(n, devDir + "/" + name);
      }
      ::closedir(d);
    }
    std::sort(numbered.begin(), numbered.end());
    for (auto& [n, path] : numbered) found.push_back(path);
  }
  return found;
}

std::string deviceForPort(int port, const PortMap& map, const std::vector<std::string>& found) {
  if (port < 1 || port > 16) return std::string();
  const auto i = static_cast<std::size_t>(port - 1);
  if (i < map.devices.size() && !map.devices[i].empty()) return map.devices[i];
  return i < found.size() ? found[i] : std::string();
}

}  // namespace cable
