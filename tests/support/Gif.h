#pragma once
// Writes real GIF89a files (animated when given several frames), for tests that show pictures.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct GifFrame {
  std::vector<std::uint8_t> pixels;  // width * height palette indices
  int delayCs = 10;                  // hundredths of a second
};

// palette: up to 256 RGB triples (padded to 256).
std::string encodeGif(int width, int height, const std::vector<std::uint32_t>& paletteRgb,
                      const std::vector<GifFrame>& frames);
// A w x h animation of `frames` frames: a bar that moves across a coloured background.
std::string animatedGif(int width, int height, int frames = 3);

}  // namespace testsupport
