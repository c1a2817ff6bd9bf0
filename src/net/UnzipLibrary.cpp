#include "net/UnzipLibrary.h"

#include "common/DynLib.h"

namespace UnzipLibrary {

const char* const fileName = "UnZDll.dll";

namespace {

quorrel::DynLib& library() {
  static quorrel::DynLib lib;
  return lib;
}

UnzDllExecFunc execFunc = nullptr;

}  // namespace

bool load(const std::string& path) {
  if (isLoaded()) return true;
  quorrel::DynLib& lib = library();
  if (!lib.open(path)) return false;
  execFunc = reinterpret_cast<UnzDllExecFunc>(lib.symbol("UnzDllExec"));
  if (!execFunc || !lib.symbol("GetUnzDllVersion")) unload();
  return isLoaded();
}

void unload() {
  execFunc = nullptr;
  library().close();
}

bool isLoaded() { return execFunc != nullptr && library().isOpen(); }

UnzDllExecFunc entryPoint() { return execFunc; }

}  // namespace UnzipLibrary
