#pragma once
// Text conversions of the cable path: the host speaks Windows-1251, OBEX names travel as UTF-16 big-endian and
// folder listings are UTF-8. A character the target cannot hold becomes '?'.
#include <string>

namespace cable {

// UTF-8 -> Windows-1251 (the plugin's own Russian messages, names from a folder listing).
std::string utf8ToAnsi(const std::string& utf8);
// Windows-1251 -> UTF-16BE, without a terminating NUL.
std::string ansiToUtf16be(const std::string& ansi);

}  // namespace cable
