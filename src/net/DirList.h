#pragma once
// The folder-picture list "dir.lst" that the update server publishes beside the pictures: one base name per
// line (the picture is that name followed by ".gif"), ended by a line that reads exactly "<end>".
#include <string>
#include <vector>

namespace quorrel {

// The names of a list's text, in order: every line before the first "<end>" line, or every line when there is
// none. A line ends at LF, and a CR right before the LF is dropped; nothing else is trimmed, so an empty line
// is an empty name.
std::vector<std::string> parseDirList(const std::string& text);

// Reads and parses a list file. Throws QuorrelError with the file error's text ("File not found", ...) when
// the file cannot be opened or read.
std::vector<std::string> readDirList(const std::string& path);

}  // namespace quorrel
