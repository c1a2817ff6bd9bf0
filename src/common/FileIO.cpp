#include "common/FileIO.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/Errors.h"

namespace quorrel {

namespace {

[[noreturn]] void fail(const std::string& path, int errnoValue, ReadError style) {
  if (style == ReadError::CannotOpen) {
    throw QuorrelError("Cannot open file \"" + path + "\". " + ioErrorText(errnoValue));
  }
  throwIoError(errnoValue);
}

}  // namespace

std::string readFileBytes(const std::string& path, ReadError style) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path, errno, style);
  std::string bytes;
  char buf[65536];
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      fail(path, err, style);
    }
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

std::vector<std::string> splitLines(const std::string& text, LineBreaks breaks) {
  const char* const ends = breaks == LineBreaks::AnyBreak ? "\r\n" : "\n";
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of(ends, start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    std::size_t stop = end;
    if (breaks == LineBreaks::Lf && stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace quorrel
