#include "phone/JavaList.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <cstring>
#include <utility>

#include "common/Ansi.h"
#include "common/FileIO.h"

namespace quorrel {

std::vector<std::string> splitJavaList(const std::string& text) {
  return splitLines(text.substr(0, ::strnlen(text.c_str(), text.size())), LineBreaks::AnyBreak);
}

std::string joinJavaList(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& e : entries) text += e + "\r\n";
  return text;
}

void sortJavaList(std::vector<std::string>& entries) {
  QCollator collator(QLocale::system());
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<std::pair<QString, std::string>> keyed;
  keyed.reserve(entries.size());
  for (std::string& e : entries) keyed.emplace_back(fromAnsi(e), std::move(e));
  std::sort(keyed.begin(), keyed.end(),
            [&](const auto& a, const auto& b) { return collator.compare(a.first, b.first) < 0; });
  for (std::size_t i = 0; i < keyed.size(); ++i) entries[i] = std::move(keyed[i].second);
}

}  // namespace quorrel
