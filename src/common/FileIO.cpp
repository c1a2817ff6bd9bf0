#include "common/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::string readFileHead(const std::string& path, ReadError style, std::size_t limit, bool& cut) {
  cut = false;
  // Not blocking at the open: a FIFO would otherwise wait there for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) fail(path, errno, style);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISREG(st.st_mode) ? errno : EACCES;
    ::close(fd);
    fail(path, err, style);
  }
  std::string bytes;
  char buf[65536];
  while (bytes.size() < limit) {
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - bytes.size()));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      fail(path, err, style);
    }
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  if (bytes.size() >= limit) {
    ssize_t n;
    while ((n = ::read(fd, buf, 1)) < 0 && errno == EINTR) {
    }
    cut = n > 0;
  }
  ::close(fd);
  return bytes;
}

std::string readFileBytes(const std::string& path, ReadError style) {
  bool cut = false;
  return readFileHead(path, style, std::string().max_size(), cut);
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
