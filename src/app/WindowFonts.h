#pragma once
// The named fonts of the main window (mapped to installed fonts at start-up).
#include <QFont>

namespace quorrel {

// MS Sans Serif 8: menus, tool bar, log, status bar.
QFont uiFont();
// Verdana 8: the tree and the details pane.
QFont detailsFont(bool bold);

}  // namespace quorrel
