#pragma once
// Errors are exceptions inside the core; a handler boundary turns them into the error report.
#include <stdexcept>
#include <string>

namespace quorrel {

// Message text is UTF-8.
class QuorrelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The run-time library's text for an I/O failure ("File not found", "File access denied", ...).
std::string ioErrorText(int errnoValue);
[[noreturn]] void throwIoError(int errnoValue);

// The error report's text rule: a full stop is added unless the text ends in "." or in a character
// with a lower code (a blank, "!", a comma, a hyphen, ...). Works on UTF-8 text.
std::string withFullStop(const std::string& text);

}  // namespace quorrel
