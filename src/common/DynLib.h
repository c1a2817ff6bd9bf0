#pragma once
// Run-time loading of a shared library and lookup of its exports by name.
//
// A bare library name is searched in the executable's own folder, then in the private library folder of an
// installation (<prefix>/lib/quorrel beside <prefix>/bin, then the one this build installs to), then in the
// folders of the system's library search (LD_LIBRARY_PATH and the default folders). A folder that lies inside
// the current directory, or is it, is never searched, and neither is a relative LD_LIBRARY_PATH entry: updates
// unpack files that a server sent into the current directory. A name with "/" is loaded only from outside it.
#include <string>
#include <vector>

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

  // The folders, each with a trailing "/", searched for a bare name, in order: the program's folders, then
  // `systemFolders` (LD_LIBRARY_PATH's entries first), each kept only when it is absolute and lies outside
  // `workDir`. Folders that do not exist are dropped.
  static std::vector<std::string> searchFolders(const std::string& exeDir, const std::string& workDir,
                                                const std::vector<std::string>& systemFolders);

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// True when `path` (resolved through links) is `folder` or lies inside it. A path that cannot be resolved
// is judged by its text.
bool liesInside(const std::string& path, const std::string& folder);

}  // namespace quorrel
