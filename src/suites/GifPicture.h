#pragma once
// Pictures for a catalogue: a GIF is taken as it is; a PNG or JPEG (or a suite's icon) is converted to a GIF,
// with its colours reduced to a palette by giflib, no taller than the phone screen the catalogue is made for.
#include <string>

namespace quorrel::suites {

bool isGif(const std::string& bytes);

// The picture as a GIF no taller than maxHeight (scaled down keeping its shape, never up); transparent parts
// over white. False with a sentence in `error` when the bytes are no picture Quorrel can read.
bool pictureAsGif(const std::string& bytes, int maxHeight, std::string& gif, std::string& error);

// The pictures a tree needs besides the games' own: a screen for a game without a screenshot (noscr.gif), a
// folder without a picture (template.gif) and the news (news.gif); drawn, 128 wide and `height` high.
enum class Placeholder { NoScreenshot, Folder, News };
std::string placeholderGif(Placeholder kind, int height);

}  // namespace quorrel::suites
