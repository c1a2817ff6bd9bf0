// The AT reply reader over arbitrary bytes, fed in pieces whose sizes the input's first byte chooses: the reply
// handed to the host always fits the buffer and ends with its final line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AtChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 16 + 1;
  const std::size_t limit = 64 + (data[0] & 0x7F) * 8;
  cable::AtReplyReader reader("AT+CGMI", limit);
  std::size_t at = 1;
  while (at < size && !reader.done()) {
    const std::size_t n = std::min(piece, size - at);
    const std::size_t used = reader.feed(reinterpret_cast<const char*>(data + at), n);
    if (used > n) __builtin_trap();
    at += used;
  }
  const std::string text = reader.text();
  if (text.size() > limit) __builtin_trap();
  if (reader.done() && text.compare(text.size() - 2, 2, "\r\n") != 0) __builtin_trap();
  return 0;
}
