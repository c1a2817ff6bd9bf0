#include "common/Paths.h"

#include "common/Ansi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace quorrel {

std::string currentDir() {
  std::vector<char> buf(PATH_MAX + 1);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return "./";
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string nativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string diskName(const std::string& ansiRelative) {
  const std::string native = nativePath(ansiRelative);
  const bool ascii =
      std::all_of(native.begin(), native.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return native;
  return fromAnsi(native).toUtf8().toStdString();
}

std::string localPath(const std::string& relative) { return currentDir() + diskName(relative); }

bool staysInFolder(const std::string& name) {
  const std::string native = nativePath(name);
  if (!native.empty() && native[0] == '/') return false;
  for (std::size_t start = 0; start <= native.size();) {
    const std::size_t end = std::min(native.find('/', start), native.size());
    if (end - start == 2 && native.compare(start, 2, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
  return staysInFolder(name) ? localPath(folder + name) : std::string();
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && directoryExists(path);
}

long long fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

std::string executableDir() {
  std::vector<char> buf(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string exe(buf.data(), static_cast<size_t>(n));
  const auto slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

}  // namespace quorrel
