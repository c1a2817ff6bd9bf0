// An unzip library that lacks GetUnzDllVersion, as a broken or foreign file of that name would.
#include <cstdint>

#include "unzdll_abi.h"

extern "C" __attribute__((visibility("default"))) std::int32_t UnzDllExec(UnzipCommand*) { return 0; }
