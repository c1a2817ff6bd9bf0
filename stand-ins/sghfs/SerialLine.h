#pragma once
// A serial line to a phone: opened exclusively (TIOCEXCL and a UUCP lock file such as /run/lock/LCK..ttyACM0,
// as other serial tools do), raw mode at the given speed, every read bounded by a time-out.
#include <string>

namespace cable {

enum class OpenError { None, NoDevice, NoPermission, Busy, NotATerminal, Other };

// What an errno of opening a device means to the user.
OpenError openErrorOf(int err);

// The lock file's name for a device: "/dev/ttyACM0" -> "LCK..ttyACM0", "/dev/pts/3" -> "LCK..pts_3".
std::string lockFileName(const std::string& device);
// The folder of lock files: $SGHFS_LOCK_DIR, else /run/lock, else /var/lock.
std::string lockDir();

class SerialLine {
 public:
  SerialLine() = default;
  ~SerialLine() { close(); }
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens and sets up the device; on failure the line stays closed and error()/errnoValue() say why.
  bool open(const std::string& device, int speed);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  OpenError error() const { return error_; }
  int errnoValue() const { return errno_; }
  // The speed actually set (a speed the line does not know falls back to 115200).
  int speed() const { return speed_; }

  // Reads what is there, waiting at most timeoutMs for the first byte: the count, 0 on time-out, -1 when the
  // device is gone (hung up, unplugged).
  long readSome(char* buffer, std::size_t size, int timeoutMs);
  // Writes everything, waiting at most timeoutMs whenever the line does not take more; false on failure.
  bool writeAll(const char* data, std::size_t size, int timeoutMs);
  // Drops whatever the phone sent that nobody read.
  void discardInput();

 private:
  bool takeLock(const std::string& device);
  int fd_ = -1;
  int speed_ = 0;
  std::string lockPath_;
  OpenError error_ = OpenError::None;
  int errno_ = 0;
};

}  // namespace cable
