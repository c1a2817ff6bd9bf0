#include "net/DirList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Errors.h"
#include "common/Paths.h"
#include "common/ShownText.h"

namespace quorrel {

namespace {

// The lines of a list fed in pieces: each name goes out once its line is complete, until the "<end>" line.
class DirListLines {
 public:
  DirListLines(std::size_t keep, const std::function<bool(const std::string&, bool)>& name)
      : keep_(keep), name_(name) {}

  bool ended() const { return ended_; }

  void feed(const char* data, std::size_t size) {
    while (size > 0 && !ended_) {
      const auto* lf = static_cast<const char*>(std::memchr(data, '\n', size));
      const std::size_t take = lf ? static_cast<std::size_t>(lf - data) : size;
      // One byte more than kept is stored, so that a CR ending a line of exactly `keep` bytes is no cut.
      const std::size_t room = keep_ == SIZE_MAX ? take : keep_ + 1 - std::min(line_.size(), keep_ + 1);
      if (take > room) dropped_ = true;
      line_.append(data, std::min(take, room));
      pending_ = true;
      data += take;
      size -= take;
      if (lf) {
        ++data;
        --size;
        endLine();
      }
    }
  }

  // The last line, when the text does not end with a line break.
  void finish() {
    if (pending_ && !ended_) endLine();
  }

 private:
  void endLine() {
    bool cut = dropped_;
    if (!cut && !line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.size() > keep_) {
      line_.resize(keep_);
      cut = true;
    }
    // The end line, or a name after which the reader wants no more, ends the list.
    ended_ = (!cut && line_ == "<end>") || !name_(line_, cut);
    line_.clear();
    dropped_ = false;
    pending_ = false;
  }

  const std::size_t keep_;
  const std::function<bool(const std::string&, bool)>& name_;
  std::string line_;
  bool dropped_ = false;
  bool pending_ = false;
  bool ended_ = false;
};

struct FdCloser {
  int fd;
  ~FdCloser() { ::close(fd); }
};

}  // namespace

std::vector<std::string> parseDirList(const std::string& text) {
  std::vector<std::string> names;
  const std::function<bool(const std::string&, bool)> add = [&](const std::string& n, bool) {
    names.push_back(n);
    return true;
  };
  DirListLines lines(SIZE_MAX, add);
  lines.feed(text.data(), text.size());
  lines.finish();
  return names;
}

void readDirList(const std::string& path, std::size_t keep,
                 const std::function<bool(const std::string& name, bool cut)>& name,
                 const std::function<void()>& afterBlock) {
  // Not blocking at the open: a FIFO would otherwise wait there for a writer. Only a regular file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throwIoError(errno);
  const FdCloser closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throwIoError(errno);
  if (!S_ISREG(st.st_mode)) throwIoError(EACCES);
  DirListLines lines(keep, name);
  std::vector<char> block(64 * 1024);
  while (!lines.ended()) {
    const ssize_t n = ::read(fd, block.data(), block.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throwIoError(errno);
    }
    lines.feed(block.data(), static_cast<std::size_t>(n));
    if (afterBlock) afterBlock();
  }
  lines.finish();
}

std::vector<std::string> readDirList(const std::string& path) {
  std::vector<std::string> names;
  readDirList(path, SIZE_MAX,
              [&](const std::string& n, bool) {
                names.push_back(n);
                return true;
              },
              {});
  return names;
}

std::string pictureNameFault(const std::string& name, bool cut) {
  if (name.find_first_of("/\\") != std::string::npos || name.find("..") != std::string::npos || holdsControlBytes(name))
    return "в имени есть \"/\", \"\\\", \"..\" или управляющий символ";
  if (cut || diskName(name + ".gif").size() > MaxPictureFileName) return "имя длиннее 255 байт";
  return {};
}

}  // namespace quorrel
