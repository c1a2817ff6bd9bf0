#include "common/ShownText.h"

namespace quorrel {

QString shownLines(const QString& text) {
  const QStringView all(text);
  QString out;
  qsizetype start = 0;
  while (true) {
    qsizetype end = all.indexOf(QLatin1Char('\n'), start);
    if (end < 0) end = all.size();
    qsizetype at = start;
    while (end - at > MaxShownLineChars) {
      if (out.isEmpty()) {
        out.reserve(all.size() + all.size() / (MaxShownLineChars / 2) + 1);
        out.append(all.left(at));
      }
      qsizetype length = MaxShownLineChars;
      const qsizetype blank = all.mid(at, length).lastIndexOf(QLatin1Char(' '));
      if (blank >= MaxShownLineChars / 2) length = blank + 1;
      out.append(all.mid(at, length));
      out.append(QLatin1Char('\n'));
      at += length;
    }
    if (!out.isEmpty()) out.append(all.mid(at, end - at + (end < all.size() ? 1 : 0)));
    if (end >= all.size()) break;
    start = end + 1;
  }
  return out.isEmpty() ? text : out;
}

QString shownLabel(const QString& text) {
  return text.size() > MaxShownLabelChars ? text.left(MaxShownLabelChars) : text;
}

}  // namespace quorrel
