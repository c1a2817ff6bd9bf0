#include "SerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cable {

namespace {

speed_t speedConstant(int speed, int& actual) {
  static const struct {
    int bps;
    speed_t constant;
  } table[] = {{9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
               {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& row : table) {
    if (row.bps == speed) {
      actual = speed;
      return row.constant;
    }
  }
  actual = 115200;
  return B115200;
}

bool waitFor(int fd, short events, int timeoutMs, short& revents) {
  pollfd p{fd, events, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  revents = r > 0 ? p.revents : 0;
  return r > 0;
}

}  // namespace

OpenError openErrorOf(int err) {
  switch (err) {
    case 0:
      return OpenError::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return OpenError::NoDevice;
    case EACCES:
    case EPERM:
    case EROFS:
      return OpenError::NoPermission;
    case EBUSY:
    case EAGAIN:
      return OpenError::Busy;
    case ENOTTY:
      return OpenError::NotATerminal;
    default:
      return OpenError::Other;
  }
}

std::string lockFileName(const std::string& device) {
  std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
  if (name.rfind('/') != std::string::npos && device.rfind("/dev/", 0) != 0) name = name.substr(name.rfind('/') + 1);
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return "LCK.." + name;
}

std::string lockDir() {
  if (const char* d = std::getenv("SGHFS_LOCK_DIR"); d && *d) return d;
  if (::access("/run/lock", F_OK) == 0) return "/run/lock";
  return "/var/lock";
}

// A lock file holds the owner's process number as ten characters and a newline. A lock whose owner is gone is
// stale and taken over; one that cannot be written (no lock folder, no right to it) is done without, and
// TIOCEXCL alone keeps other programs off the line.
bool SerialLine::takeLock(const std::string& device) {
  const std::string path = lockDir() + "/" + lockFileName(device);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      char text[16];
      const int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
      const bool written = ::write(fd, text, static_cast<std::size_t>(n)) == n;
      ::close(fd);
      if (!written) {
        ::unlink(path.c_str());
        return true;
      }
      lockPath_ = path;
      return true;
    }
    if (errno != EEXIST) return true;
    char text[32] = {};
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return true;
    const ssize_t got = ::read(in, text, sizeof text - 1);
    ::close(in);
    const long pid = got > 0 ? std::strtol(text, nullptr, 10) : 0;
    if (pid > 0 && pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return false;
    ::unlink(path.c_str());  // stale: its owner is gone
  }
  return true;
}

bool SerialLine::open(const std::string& device, int speed) {
  close();
  error_ = OpenError::None;
  errno_ = 0;
  if (!takeLock(device)) {
    error_ = OpenError::Busy;
    errno_ = EBUSY;
    return false;
  }
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  auto fail = [&](int err) {
    errno_ = err;
    error_ = openErrorOf(err);
    if (error_ == OpenError::None) error_ = OpenError::Other;
    if (fd >= 0) ::close(fd);
    if (!lockPath_.empty()) ::unlink(lockPath_.c_str());
    lockPath_.clear();
    return false;
  };
  if (fd < 0) return fail(errno);
  if (!::isatty(fd)) return fail(ENOTTY);
  if (::ioctl(fd, TIOCEXCL) != 0) return fail(errno);
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return fail(errno);
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const speed_t s = speedConstant(speed, speed_);
  ::cfsetispeed(&t, s);
  ::cfsetospeed(&t, s);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return fail(errno);
  fd_ = fd;
  discardInput();
  return true;
}

void SerialLine::close() {
  if (fd_ >= 0) {
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }
  if (!lockPath_.empty()) ::unlink(lockPath_.c_str());
  lockPath_.clear();
}

long SerialLine::readSome(char* buffer, std::size_t size, int timeoutMs) {
  if (fd_ < 0) return -1;
  short revents = 0;
  if (!waitFor(fd_, POLLIN, timeoutMs, revents)) return 0;
  const ssize_t n = ::read(fd_, buffer, size);
  if (n > 0) return n;
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  return -1;  // end of file, EIO after a hang-up, or the device removed
}

bool SerialLine::writeAll(const char* data, std::size_t size, int timeoutMs) {
  if (fd_ < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    short revents = 0;
    if (!waitFor(fd_, POLLOUT, timeoutMs, revents) || (revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
  }
  return true;
}

void SerialLine::discardInput() {
  if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

}  // namespace cable
