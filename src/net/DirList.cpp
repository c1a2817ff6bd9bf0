#include "net/DirList.h"


#include "common/FileIO.h"

namespace quorrel {

std::vector<std::string> parseDirList(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    std::string line = text.substr(start, end - start);
    if (line == "<end>") break;
    names.push_back(std::move(line));
    start = next;
  }
  return names;
}

std::vector<std::string> readDirList(const std::string& path) { return parseDirList(readFileBytes(path)); }

}  // namespace quorrel
