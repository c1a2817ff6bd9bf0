#pragma once
// The plugin's one code-page converter. The host speaks Windows-1251; this system's file names, MIDP
// descriptors, the plugin's own messages and OBEX folder listings are UTF-8; OBEX names travel as UTF-16
// big-endian. A character the target cannot hold becomes '?'; the byte 0x98, which has no character in
// Windows-1251, reads as '?'.
#include <string>

namespace sghfs {

// Whether a text is well-formed UTF-8: no sequence cut short, overlong or past U+10FFFF, no surrogate.
bool isUtf8(const std::string& text);

// UTF-8 -> Windows-1251, for a text known to be UTF-8 (the plugin's own messages, names from a folder listing,
// which the XML parser hands out in UTF-8): a broken sequence there is damage and becomes one '?'.
std::string utf8ToAnsi(const std::string& utf8);

// A name whose code page nobody declared (a file name of this system, a descriptor's value): converted when it
// is UTF-8, else taken to be in Windows-1251 already and passed as it stands. A Windows-1251 text with Russian
// letters is as good as never well-formed UTF-8, so the test tells the two apart.
std::string nameToAnsi(const std::string& text);

// Windows-1251 -> UTF-8 (the host's names as file names of this system).
std::string ansiToUtf8(const std::string& ansi);
// Windows-1251 -> UTF-16BE, without a terminating NUL.
std::string ansiToUtf16be(const std::string& ansi);

}  // namespace sghfs
