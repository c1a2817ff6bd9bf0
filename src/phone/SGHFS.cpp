#include "phone/SGHFS.h"

namespace SGHFS {

std::string PluginVersion;

bool LoadPlugin(const std::string& /*libraryName*/) { return false; }
void UnloadPlugin() {}

}  // namespace SGHFS
