#include "support/TempDir.h"

#include <unistd.h>

#include <QStringEncoder>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace testsupport {

TempWorkDir::TempWorkDir() {
  previous_ = fs::current_path().string();
  std::string tmpl = (fs::temp_directory_path() / "quorrel-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(buf.data()) + "/";
  fs::current_path(path_);
}

TempWorkDir::~TempWorkDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  // Make everything writable again first, so a test that took permissions away still cleans up.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& bytes) {
  const fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void removeTree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

std::string binDir() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  std::string exe(buf.data(), n > 0 ? static_cast<size_t>(n) : 0);
  return exe.substr(0, exe.rfind('/') + 1);
}

std::string cp1251(const char* utf8) {
  QStringEncoder enc("windows-1251");
  const QByteArray b = enc(QString::fromUtf8(utf8));
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

}  // namespace testsupport
