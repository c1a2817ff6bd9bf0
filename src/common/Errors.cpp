#include "common/Errors.h"

#include <cerrno>

namespace quorrel {

std::string ioErrorText(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
      return "Path not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return "File access denied";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case ENOSPC:
    case EDQUOT:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(errnoValue);
  }
}

void throwIoError(int errnoValue) { throw QuorrelError(ioErrorText(errnoValue)); }

std::string withFullStop(const std::string& text) {
  if (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    // Bytes of a multi-byte UTF-8 character are all above '.', as are the ANSI letters they stand for.
    if (last <= static_cast<unsigned char>('.')) return text;
  }
  return text + ".";
}

}  // namespace quorrel
