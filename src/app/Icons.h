#pragma once
#include <QIcon>

namespace quorrel {

enum class Glyph { Connect, Disconnect, Settings, Update, Compile, UploadMarked, Exit, UploadGame, Screenshot,
                   DownloadGame, ArrowUp, ArrowDown };

// The icon of a tool button: from the installed freedesktop icon theme when it has one, else drawn here.
QIcon glyphIcon(Glyph glyph);
// Picks an installed icon theme when the platform named none.
void chooseIconTheme();

}  // namespace quorrel
