#include "Codepage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace cable {

namespace {

// One conversion descriptor per direction and thread, opened on first use and kept: opening one loads the
// converter's module anew each time once the last descriptor closed, and every put converts names.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts with iconv; an input sequence the target cannot hold (or a broken one) is replaced by `bad`
// (already in the target encoding) and skipped by `skip(rest)` bytes of input.
template <typename Skip>
std::string convert(const Converter& converter, const std::string& in, const std::string& bad, Skip skip) {
  if (!converter.ok()) return std::string();
  iconv_t cd = converter.get();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state for this text
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

std::string utf8ToAnsi(const std::string& utf8) {
  thread_local const Converter converter("WINDOWS-1251", "UTF-8");
  return convert(converter, utf8, "?", utf8Length);
}

std::string ansiToUtf16be(const std::string& ansi) {
  thread_local const Converter converter("UTF-16BE", "WINDOWS-1251");
  // Windows-1251 leaves only 0x98 unassigned.
  return convert(converter, ansi, std::string("\0?", 2),
                 [](const unsigned char*, std::size_t) { return std::size_t{1}; });
}

}  // namespace cable
