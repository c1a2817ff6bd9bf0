#include "Codepage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace cable {

namespace {

// Converts with iconv; an input sequence the target cannot hold (or a broken one) is replaced by `bad`
// (already in the target encoding) and skipped by `skip(rest)` bytes of input.
template <typename Skip>
std::string convert(const char* to, const char* from, const std::string& in, const std::string& bad, Skip skip) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out;
  std::vector<char> block(4096);
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  while (left > 0) {
    char* dst = block.data();
    std::size_t room = block.size();
    const std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(block.data(), static_cast<std::size_t>(dst - block.data()));
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: one character that does not convert.
    out += bad;
    const std::size_t n = std::min(left, skip(reinterpret_cast<const unsigned char*>(src), left));
    src += n;
    left -= n;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

std::size_t utf8Length(const unsigned char* p, std::size_t left) {
  std::size_t n = 1;
  if ((p[0] & 0xE0) == 0xC0)
    n = 2;
  else if ((p[0] & 0xF0) == 0xE0)
    n = 3;
  else if ((p[0] & 0xF8) == 0xF0)
    n = 4;
  // A sequence cut short or broken: skip only the bytes that belong to it.
  std::size_t i = 1;
  while (i < n && i < left && (p[i] & 0xC0) == 0x80) ++i;
  return i;
}

}  // namespace

std::string utf8ToAnsi(const std::string& utf8) { return convert("WINDOWS-1251", "UTF-8", utf8, "?", utf8Length); }

std::string ansiToUtf16be(const std::string& ansi) {
  // Windows-1251 leaves only 0x98 unassigned.
  return convert("UTF-16BE", "WINDOWS-1251", ansi, std::string("\0?", 2),
                 [](const unsigned char*, std::size_t) { return std::size_t{1}; });
}

}  // namespace cable
