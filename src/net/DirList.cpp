#include "net/DirList.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/Errors.h"

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

std::vector<std::string> readDirList(const std::string& path) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "rb"));
  if (!f) throwIoError(errno);
  std::string text;
  char buffer[8192];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, n);
  if (std::ferror(f.get())) throwIoError(errno);
  return parseDirList(text);
}

}  // namespace quorrel
