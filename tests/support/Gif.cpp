#include "support/Gif.h"

namespace testsupport {

namespace {

void put16(std::string& out, int v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// LZW with 9-bit codes only: a clear code before the table would need 10 bits keeps every code literal.
std::string lzw(const std::vector<std::uint8_t>& pixels) {
  std::string bytes;
  std::uint32_t acc = 0;
  int bits = 0;
  auto emit = [&](int code) {
    acc |= static_cast<std::uint32_t>(code) << bits;
    bits += 9;
    while (bits >= 8) {
      bytes.push_back(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      bits -= 8;
    }
  };
  const int clear = 256;
  const int end = 257;
  int sinceClear = 0;
  emit(clear);
  for (std::uint8_t p : pixels) {
    if (sinceClear == 254) {
      emit(clear);
      sinceClear = 0;
    }
    emit(p);
    ++sinceClear;
  }
  emit(end);
  if (bits > 0) bytes.push_back(static_cast<char>(acc & 0xFF));
  std::string blocks;
  for (size_t i = 0; i < bytes.size(); i += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - i);
    blocks.push_back(static_cast<char>(n));
    blocks.append(bytes, i, n);
  }
  blocks.push_back('\0');
  return blocks;
}

}  // namespace

std::string encodeGif(int width, int height, const std::vector<std::uint32_t>& paletteRgb,
                      const std::vector<GifFrame>& frames) {
  std::string out = "GIF89a";
  put16(out, width);
  put16(out, height);
  out.push_back(static_cast<char>(0xF7));  // global table of 256 colours
  out.push_back('\0');
  out.push_back('\0');
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t c = i < static_cast<int>(paletteRgb.size()) ? paletteRgb[static_cast<size_t>(i)] : 0;
    out.push_back(static_cast<char>((c >> 16) & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  if (frames.size() > 1) {
    out += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  }
  for (const GifFrame& f : frames) {
    out += std::string("\x21\xF9\x04\x00", 4);
    put16(out, f.delayCs);
    out += std::string("\x00\x00", 2);
    out.push_back('\x2C');
    put16(out, 0);
    put16(out, 0);
    put16(out, width);
    put16(out, height);
    out.push_back('\0');
    out.push_back('\x08');
    out += lzw(f.pixels);
  }
  out.push_back('\x3B');
  return out;
}

std::string animatedGif(int width, int height, int frames) {
  const std::vector<std::uint32_t> palette{0x203040, 0xE0C040, 0x40A0E0, 0xFFFFFF};
  std::vector<GifFrame> list;
  for (int k = 0; k < frames; ++k) {
    GifFrame f;
    f.pixels.assign(static_cast<size_t>(width * height), 0);
    const int barX = frames > 1 ? (width * k) / frames : width / 3;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        std::uint8_t c = static_cast<std::uint8_t>(((x / 8 + y / 8) % 2) ? 0 : 2);
        if (x >= barX && x < barX + std::max(1, width / 6)) c = 1;
        f.pixels[static_cast<size_t>(y * width + x)] = c;
      }
    }
    list.push_back(std::move(f));
  }
  return encodeGif(width, height, palette, list);
}

}  // namespace testsupport
