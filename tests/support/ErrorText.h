#pragma once
// The message of the error a call throws, or "no error" when it returns.
#include <exception>
#include <functional>
#include <string>

namespace testsupport {

inline std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace testsupport
