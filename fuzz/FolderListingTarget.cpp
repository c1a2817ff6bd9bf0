// The OBEX folder-listing parser over arbitrary text: every entry it keeps has a usable name, and a folder
// has no size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FolderListing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto entries = cable::parseFolderListing(std::string(reinterpret_cast<const char*>(data), size));
  if (!entries) return 0;
  for (const cable::ListingEntry& e : *entries) {
    if (e.name.empty() || e.name == "." || e.name == ".." || e.name.find('/') != std::string::npos) __builtin_trap();
    if (e.folder && e.size != 0) __builtin_trap();
  }
  return 0;
}
