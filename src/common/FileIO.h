#pragma once
// Whole-file reads, line splitting and complete writes, shared by the readers of the application's text files.
#include <cstddef>
#include <string>
#include <vector>

namespace quorrel {

enum class ReadError {
  IoText,      // the run-time library's text: "File not found", "File access denied", ...
  CannotOpen,  // "Cannot open file \"<path>\". <reason>", as the windows that load a text file say it
};

// The file's bytes; throws QuorrelError when it cannot be opened or read. Only a regular file is read: a
// folder, a FIFO or a device is refused ("File access denied") without waiting on it.
std::string readFileBytes(const std::string& path, ReadError style = ReadError::IoText);

// As readFileBytes, but at most `limit` bytes from the start of the file; `cut` tells whether there was more.
std::string readFileHead(const std::string& path, ReadError style, std::size_t limit, bool& cut);

enum class LineBreaks {
  Lf,       // a line ends at LF; a CR right before it is dropped
  AnyBreak  // a line ends at CR LF, a lone CR or a lone LF
};

// Splits text into lines; a break after the last line adds no empty line.
std::vector<std::string> splitLines(const std::string& text, LineBreaks breaks);

// Writes all of data to fd, resuming after interruptions; false on an error (errno tells which).
bool writeAll(int fd, const char* data, std::size_t size);

}  // namespace quorrel
