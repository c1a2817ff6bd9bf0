// The phone's Java list as text: split into entries, sorted as the alphabetical mode sorts them, joined
// back. Entries never hold a line break or a NUL, joining and splitting again gives the same entries, and
// sorting only reorders them, into an order the comparison agrees with.
#include <QCollator>
#include <QLocale>
#include <algorithm>

#include "FuzzSupport.h"
#include "common/Ansi.h"
#include "phone/JavaList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::ensureApplication();
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> entries = quorrel::splitJavaList(text);
  for (const std::string& e : entries) {
    FUZZ_CHECK(e.find_first_of(std::string("\r\n\0", 3)) == std::string::npos, "an entry holds a break or a NUL");
  }
  const std::string joined = quorrel::joinJavaList(entries);
  FUZZ_CHECK(quorrel::splitJavaList(joined) == entries, "joining and splitting again changed the entries");

  std::vector<std::string> sorted = entries;
  quorrel::sortJavaList(sorted);
  std::vector<std::string> a = entries, b = sorted;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  FUZZ_CHECK(a == b, "sorting changed the entries");
  QCollator collator(QLocale::system());
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    FUZZ_CHECK(collator.compare(quorrel::fromAnsi(sorted[i - 1]), quorrel::fromAnsi(sorted[i])) <= 0,
               "entries out of order after sorting");
  }
  return 0;
}
