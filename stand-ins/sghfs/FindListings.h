#pragma once
// The listings that FsFindFirst opens: each handle hands out its entries one by one through FsFindNext until
// FsFindClose forgets it. Also the blank trimming that the plugin's text files (map file, phone.ini, descriptors)
// share.
#include <cctype>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sghfs_abi.h"

namespace sghfs {

class FindListings {
 public:
  // Handles start at `firstHandle`, so two tables never hand out the same one.
  explicit FindListings(SghfsHandle firstHandle) : nextHandle_(firstHandle) {}

  // Puts the first entry into `first` and opens a handle for the rest; SGHFS_INVALID_HANDLE when empty.
  SghfsHandle open(std::vector<SghfsFindData> entries, SghfsFindData* first) {
    if (entries.empty()) return SGHFS_INVALID_HANDLE;
    *first = entries[0];
    const SghfsHandle h = nextHandle_++;
    listings_[h] = Listing{std::move(entries), 1};
    return h;
  }

  // 1 and the next entry, or 0 when the handle is unknown or its entries are used up.
  int32_t next(SghfsHandle h, SghfsFindData* out) {
    const auto it = listings_.find(h);
    if (it == listings_.end() || !out || it->second.next >= it->second.entries.size()) return 0;
    *out = it->second.entries[it->second.next++];
    return 1;
  }

  void close(SghfsHandle h) { listings_.erase(h); }
  void clear() { listings_.clear(); }

 private:
  struct Listing {
    std::vector<SghfsFindData> entries;
    std::size_t next = 0;
  };
  std::map<SghfsHandle, Listing> listings_;
  SghfsHandle nextHandle_;
};

// `s` without the blanks and control characters at either end.
inline std::string trimBlanks(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

// `s` with its ASCII letters in upper case (commands, port names).
inline std::string upperAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace sghfs
