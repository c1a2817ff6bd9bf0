#pragma once
// The message log at the bottom of the main window, as the subsystems see it: lines go in at the top, newest
// first. The window implements it; the subsystems write to it without knowing its widgets.
#include <QString>

namespace quorrel {

// Lines the log keeps at most; the oldest go first. An update of a whole catalogue writes about three lines per
// file, so this holds the lines of some 1700 files, while the log's text stays below 10 MB even when every line
// is cut at its bound (MaxShownLabelChars). A full log drops its oldest LogTrimLines lines at once: dropping them
// one by one would cost each new line as much as adding it.
inline constexpr int MaxLogLines = 5000;
inline constexpr int LogTrimLines = 256;

class MessageLog {
 public:
  virtual ~MessageLog() = default;
  // Inserts a line as the first item of the log and shows it as the current text. A line is shown as a
  // one-line field shows its text (shownLabel), and the log keeps at most MaxLogLines.
  virtual void addLine(const QString& line) = 0;
  // Inserts a line as the first item without changing the current text.
  virtual void insertLine(const QString& line) = 0;
  // addLine(timeText() + text); text starts with a blank.
  void logCommand(const QString& text) { addLine(timeText() + text); }

  // Time of day in the system's long time format, without a time-zone part.
  static QString timeText();
};

}  // namespace quorrel
