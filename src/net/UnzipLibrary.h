#pragma once
// Binding of the unzip library "UnZDll.dll", loaded at the first extraction and shared by every zip
// component of the process.
#include <string>

#include "unzdll_abi.h"

namespace UnzipLibrary {

// The library's file name.
extern const char* const fileName;

// Loads the library from `path` (a bare name is searched beside the executable, never in the current
// directory) and finds its two exports; a library lacking either export is released again. True when the
// library is loaded afterwards; true at once when it already was.
bool load(const std::string& path);
void unload();
bool isLoaded();

// The library's entry point; nullptr while it is not loaded.
UnzDllExecFunc entryPoint();

}  // namespace UnzipLibrary
