#include "Codepage.h"

#include <cstddef>

namespace sghfs {

namespace {

// Code points of the Windows-1251 bytes 0x80..0xBF (0 where a byte has none); 0xC0..0xFF are U+0410..U+044F.
const char16_t HighBytes[64] = {0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
                                0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
                                0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
                                0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
                                0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t codeOfAnsi(unsigned char b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return 0x410 + (b - 0xC0);
  return HighBytes[b - 0x80] != 0 ? HighBytes[b - 0x80] : U'?';
}

char ansiOfCode(char32_t code) {
  if (code < 0x80) return static_cast<char>(code);
  if (code >= 0x410 && code <= 0x44F) return static_cast<char>(0xC0 + (code - 0x410));
  for (unsigned i = 0; i < 64; ++i) {
    if (HighBytes[i] != 0 && HighBytes[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// One UTF-8 sequence at the start of a text: its code point and length, or a length of 0 when it is broken.
struct Utf8Sequence {
  char32_t code = 0;
  std::size_t length = 0;
};

Utf8Sequence readSequence(const unsigned char* p, std::size_t left) {
  const unsigned char lead = p[0];
  std::size_t length = 0;
  char32_t code = 0;
  if (lead < 0x80) {
    return Utf8Sequence{lead, 1};
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return Utf8Sequence{};
  }
  if (length > left) return Utf8Sequence{};
  for (std::size_t k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) return Utf8Sequence{};
    code = (code << 6) | (p[k] & 0x3Fu);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return Utf8Sequence{};
  return Utf8Sequence{code, length};
}

// The bytes a broken sequence spans: its lead and the continuation bytes that follow it, as many as the lead
// announces, so that the character after it is read on its own.
std::size_t brokenLength(const unsigned char* p, std::size_t left) {
  std::size_t n = 1;
  if ((p[0] & 0xE0) == 0xC0)
    n = 2;
  else if ((p[0] & 0xF0) == 0xE0)
    n = 3;
  else if ((p[0] & 0xF8) == 0xF0)
    n = 4;
  std::size_t i = 1;
  while (i < n && i < left && (p[i] & 0xC0) == 0x80) ++i;
  return i;
}

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

bool isUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Sequence s = readSequence(p + i, text.size() - i);
    if (s.length == 0) return false;
    i += s.length;
  }
  return true;
}

std::string utf8ToAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Sequence s = readSequence(p + i, utf8.size() - i);
    if (s.length == 0) {
      out += '?';
      i += brokenLength(p + i, utf8.size() - i);
    } else {
      out += ansiOfCode(s.code);
      i += s.length;
    }
  }
  return out;
}

std::string nameToAnsi(const std::string& text) { return isUtf8(text) ? utf8ToAnsi(text) : text; }

std::string ansiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size() * 2);
  for (const char c : ansi) appendUtf8(out, codeOfAnsi(static_cast<unsigned char>(c)));
  return out;
}

std::string ansiToUtf16be(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size() * 2);
  for (const char c : ansi) {
    const char32_t code = codeOfAnsi(static_cast<unsigned char>(c));  // every one lies in the basic plane
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  }
  return out;
}

}  // namespace sghfs
