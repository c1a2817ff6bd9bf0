#include "net/UnzipLibrary.h"

#include "common/DynLib.h"

namespace UnzipLibrary {

const char* const UnzDllName = "UnZDll.dll";

namespace {

quorrel::DynLib& library() {
  static quorrel::DynLib lib;
  return lib;
}

UnzDllExecFunc execFunc = nullptr;

}  // namespace

bool LoadUnzDll(const std::string& path) {
  if (UnzDllLoaded()) return true;
  quorrel::DynLib& lib = library();
  if (!lib.open(path)) return false;
  execFunc = reinterpret_cast<UnzDllExecFunc>(lib.symbol("UnzDllExec"));
  if (!execFunc || !lib.symbol("GetUnzDllVersion")) UnloadUnzDll();
  return UnzDllLoaded();
}

void UnloadUnzDll() {
  execFunc = nullptr;
  library().close();
}

bool UnzDllLoaded() { return execFunc != nullptr && library().isOpen(); }

UnzDllExecFunc UnzDllExec() { return execFunc; }

}  // namespace UnzipLibrary
