#pragma once
// The folder-picture list "dir.lst" that the update server publishes beside the pictures: one base name per
// line (the picture is that name followed by ".gif"), ended by a line that reads exactly "<end>".
#include <cstddef>
#include <functional>
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

// Reads a list file as parseDirList reads its text, a block of 64 KiB at a time, and hands each name to
// `name` as soon as its line has been read; when `name` answers false, nothing more is read. Of a line at
// most `keep` bytes are handed on (a longer line is read past without being stored), and `cut` tells whether
// there were more. `afterBlock` runs after each block. Errors as readDirList's.
void readDirList(const std::string& path, std::size_t keep,
                 const std::function<bool(const std::string& name, bool cut)>& name,
                 const std::function<void()>& afterBlock);

// The longest file name of a folder picture on disk, in bytes.
inline constexpr std::size_t MaxPictureFileName = 255;

// Why a list name can name no folder picture: "" when it can. A picture's file name is the name followed
// by ".gif", in the working folder's "Base/dir/": it must fit in MaxPictureFileName bytes on disk and hold no
// "/", "\", ".." or control character. The empty name names ".gif". `cut`: the name is only the start of
// its line.
std::string pictureNameFault(const std::string& name, bool cut = false);

}  // namespace quorrel
