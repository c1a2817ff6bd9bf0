#pragma once
// The message log at the bottom of the main window, as the subsystems see it: lines go in at the top, newest
// first. The window implements it; the subsystems write to it without knowing its widgets.
#include <QString>

namespace quorrel {

class MessageLog {
 public:
  virtual ~MessageLog() = default;
  // Inserts a line as the first item of the log and shows it as the current text.
  virtual void addLine(const QString& line) = 0;
  // Inserts a line as the first item without changing the current text.
  virtual void insertLine(const QString& line) = 0;
  // addLine(timeText() + text); text starts with a blank.
  void logCommand(const QString& text) { addLine(timeText() + text); }

  // Time of day in the system's long time format, without a time-zone part.
  static QString timeText();
};

}  // namespace quorrel
