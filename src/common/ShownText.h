#pragma once
// Bounds on the text the window lays out. Text from files a server sent may hold a line of megabytes; Qt's
// text layout of one such line takes seconds to minutes, so what is shown is bounded far above any real
// text: a memo's lines are broken into pieces, a one-line field or a tree node is cut.
#include <QString>

namespace quorrel {

inline constexpr qsizetype MaxShownLineChars = 1000;
inline constexpr qsizetype MaxShownLabelChars = 1000;

// The text with every line longer than MaxShownLineChars broken into lines of at most that many
// characters, at the last blank of each piece when there is one in its second half.
QString shownLines(const QString& text);
// The text cut at MaxShownLabelChars characters.
QString shownLabel(const QString& text);

}  // namespace quorrel
