#include "common/ShownText.h"

#include <algorithm>

namespace quorrel {

namespace {

// C0 and C1 controls, DEL, and the two separators that Qt lays out as line breaks.
bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

// The text with the controls replaced, apart from the ones `kept` allows; the text itself when there is none.
template <typename Kept>
QString withControlsReplaced(const QString& text, Kept kept) {
  const auto isReplaced = [&](QChar c) { return isControl(c.unicode()) && !kept(c.unicode()); };
  if (std::none_of(text.begin(), text.end(), isReplaced)) return text;
  QString out = text;
  for (QChar& c : out) {
    if (isReplaced(c)) c = QChar(ShownForControl);
  }
  return out;
}

// At most `limit` characters from the start, never ending in the first half of a surrogate pair.
QStringView cutAt(QStringView text, qsizetype limit) {
  if (text.size() <= limit) return text;
  qsizetype n = limit;
  if (n > 0 && text.at(n - 1).isHighSurrogate()) --n;
  return text.left(n);
}

QString brokenLines(const QString& text) {
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

// The first MaxShownMemoLines lines, and a line with an ellipsis in place of the rest.
QString firstLines(QString text) {
  qsizetype at = -1;
  for (qsizetype line = 0; line < MaxShownMemoLines; ++line) {
    at = text.indexOf(QLatin1Char('\n'), at + 1);
    if (at < 0) return text;
  }
  if (at + 1 == text.size()) return text;
  text.truncate(at + 1);
  text.append(QChar(u'\u2026'));
  return text;
}

}  // namespace

QString shownLines(const QString& text) {
  return withControlsReplaced(firstLines(brokenLines(text)), [](char16_t c) { return c == u'\n' || c == u'\t'; });
}

QString shownLabel(const QString& text) {
  const QString cut = text.size() > MaxShownLabelChars ? cutAt(text, MaxShownLabelChars).toString() : text;
  return withControlsReplaced(cut, [](char16_t) { return false; });
}

QString shownMessage(const QString& text) {
  const QStringView all(text);
  QString out;
  qsizetype start = 0;
  for (qsizetype line = 0; line < MaxShownMessageLines; ++line) {
    qsizetype end = all.indexOf(QLatin1Char('\n'), start);
    if (line > 0) out.append(QLatin1Char('\n'));
    if (end < 0) end = all.size();
    out.append(cutAt(all.mid(start, end - start), MaxShownLabelChars));
    if (end >= all.size()) break;
    start = end + 1;
  }
  return withControlsReplaced(out, [](char16_t c) { return c == u'\n'; });
}

bool holdsControlCharacters(QStringView text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return isControl(c.unicode()); });
}

bool holdsControlBytes(const std::string& bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

}  // namespace quorrel
