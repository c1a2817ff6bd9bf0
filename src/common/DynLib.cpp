#include "common/DynLib.h"

#include <dlfcn.h>

#include <cstdlib>

#include "common/Paths.h"

namespace quorrel {

namespace {

void* tryOpen(const std::string& path, std::string& error) {
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = ::dlerror();
    error = e ? e : "cannot load " + path;
  }
  return h;
}

// The system search of dlopen treats an empty element of LD_LIBRARY_PATH as the current directory.
bool libraryPathNamesCurrentDir() {
  const char* p = std::getenv("LD_LIBRARY_PATH");
  if (!p) return false;
  std::string s(p);
  if (s.empty()) return false;
  std::string::size_type start = 0;
  while (true) {
    const auto colon = s.find(':', start);
    const std::string part = s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (part.empty() || part == ".") return true;
    if (colon == std::string::npos) return false;
    start = colon + 1;
  }
}

}  // namespace

DynLib::~DynLib() { close(); }

std::string DynLib::searchedIn(const std::string& bareName) {
  const std::string exeDir = executableDir();
  return exeDir + bareName + ":" + exeDir + "../lib/quorrel/" + bareName;
}

bool DynLib::open(const std::string& name) {
  close();
  error_.clear();
  if (name.find('/') != std::string::npos) {
    handle_ = tryOpen(name, error_);
    return handle_ != nullptr;
  }
  const std::string exeDir = executableDir();
  if (!exeDir.empty()) {
    for (const std::string& candidate : {exeDir + name, exeDir + "../lib/quorrel/" + name}) {
      if (fileExists(candidate)) {
        handle_ = tryOpen(candidate, error_);
        if (handle_) return true;
      }
    }
  }
  if (libraryPathNamesCurrentDir()) {
    error_ = "library search path names the current directory; " + name + " not loaded from there";
    return false;
  }
  handle_ = tryOpen(name, error_);
  return handle_ != nullptr;
}

void DynLib::close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

void* DynLib::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace quorrel
