#pragma once
// Binding of the phone file-system plugin sghfs.wfx.
#include <string>

namespace SGHFS {

extern std::string PluginVersion;

bool LoadPlugin(const std::string& libraryName);
void UnloadPlugin();

}  // namespace SGHFS
