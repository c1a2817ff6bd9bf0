#pragma once
// Bounds on the text the window lays out, and what outside text may hold when it is shown. Text from files a
// server sent may hold a line of megabytes; Qt's text layout of one such line takes seconds to minutes, so
// what is shown is bounded far above any real text: a memo's lines are broken into pieces, a one-line field,
// a tree node or a log line is cut, and so is each line of a message box. Control characters (line breaks
// where the text is one line, and every other one of them) are shown as U+FFFD, so that a name cannot start
// a line of its own that passes for one of the program's.
#include <QString>
#include <string>

namespace quorrel {

inline constexpr qsizetype MaxShownLineChars = 1000;
inline constexpr qsizetype MaxShownLabelChars = 1000;
// Lines of a memo (news, a description, the version history); each new line costs the memo a block, and a
// megabyte of bare line breaks held the window for seconds.
inline constexpr qsizetype MaxShownMemoLines = 10000;
// Lines of a message box; the program's own boxes have up to four.
inline constexpr qsizetype MaxShownMessageLines = 20;
// What a control character is shown as.
inline constexpr char16_t ShownForControl = u'\uFFFD';

// The text with every line longer than MaxShownLineChars broken into lines of at most that many
// characters, at the last blank of each piece when there is one in its second half, and after
// MaxShownMemoLines lines the rest shown as one ellipsis. Line breaks and tabs stay; every other control
// character is replaced.
QString shownLines(const QString& text);
// The text cut at MaxShownLabelChars characters, with every control character replaced (line breaks too).
QString shownLabel(const QString& text);
// A message box's text: its line breaks stay, each line is cut as shownLabel cuts it, and after
// MaxShownMessageLines lines the rest is left out.
QString shownMessage(const QString& text);

// Whether the text holds a character that shownLabel would replace.
bool holdsControlCharacters(QStringView text);
// Whether ANSI bytes hold a control character (0x00 to 0x1F, 0x7F).
bool holdsControlBytes(const std::string& bytes);

}  // namespace quorrel
