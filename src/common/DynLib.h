#pragma once
// Run-time loading of a shared library and lookup of its exports by name.
//
// A bare library name is searched in the executable's own folder, then in the private library folder of an
// installation (<prefix>/lib/quorrel beside <prefix>/bin), then in the system's library path. The current
// directory is never searched: updates unpack files that a server sent into it.
#include <string>

namespace quorrel {

class DynLib {
 public:
  DynLib() = default;
  ~DynLib();
  DynLib(const DynLib&) = delete;
  DynLib& operator=(const DynLib&) = delete;

  // Loads the library; a name containing "/" is taken as a path. Closes any library held before.
  bool open(const std::string& name);
  void close();
  bool isOpen() const { return handle_ != nullptr; }
  // Address of an export, nullptr when absent or when no library is open.
  void* symbol(const char* name) const;
  // The text of the last loading failure.
  const std::string& lastError() const { return error_; }

  // The candidate paths tried for a bare name, in order (without the final system search).
  static std::string searchedIn(const std::string& bareName);

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace quorrel
