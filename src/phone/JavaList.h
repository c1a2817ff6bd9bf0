#pragma once
// The phone's Java list as text: entries separated by line breaks, Windows-1251 bytes. Entries are opaque:
// they are only compared and moved.
#include <string>
#include <vector>

namespace quorrel {

// Lines end at CR LF, a lone CR or a lone LF; the text ends at its first NUL; a break after the last entry
// adds no empty entry, while an empty line between entries is an empty entry.
std::vector<std::string> splitJavaList(const std::string& text);
// Every entry, the last one included, followed by CR LF.
std::string joinJavaList(const std::vector<std::string>& entries);
// Ascending, case-insensitive, under the user's locale.
void sortJavaList(std::vector<std::string>& entries);

}  // namespace quorrel
