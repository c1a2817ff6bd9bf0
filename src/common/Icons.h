#pragma once
#include <QIcon>

namespace quorrel {

enum class Glyph {
  Connect,
  Disconnect,
  Settings,
  Update,
  Compile,
  UploadMarked,
  Exit,
  UploadGame,
  Screenshot,
  DownloadGame,
  ArrowUp,
  ArrowDown
};

// The icon of a tool button: from the installed freedesktop icon theme when it has one, else drawn here.
QIcon glyphIcon(Glyph glyph);
// Picks an installed icon theme when the platform named none.
void chooseIconTheme();
// Maps the window's named fonts (MS Sans Serif, Verdana) to installed fonts of the same size and width.
void chooseFontSubstitutes();

}  // namespace quorrel
