#pragma once
// The OBEX folder listing (type x-obex/folder-listing): an XML document whose root <folder-listing> holds
// <folder name=".."/> and <file name=".." size=".."/> entries (and a <parent-folder/>, which is no entry).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cable {

struct ListingEntry {
  std::string name;  // UTF-8, as the phone sent it
  bool folder = false;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970 (UTC); 0 when not given or not readable
};

// The entries in document order; none when the text is not a well-formed folder listing. An entry without a
// usable name (empty, ".", "..", with a slash or a control character) is left out; a size that is no plain
// decimal number counts as 0.
std::optional<std::vector<ListingEntry>> parseFolderListing(const std::string& xml);

}  // namespace cable
