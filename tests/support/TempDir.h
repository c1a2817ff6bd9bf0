#pragma once
// A fresh temporary folder made the current directory for the life of the object; the previous current
// directory is restored and the folder removed afterwards.
#include <string>

namespace testsupport {

class TempWorkDir {
 public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;

  // Absolute path with a trailing "/".
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
  std::string previous_;
};

// Whole-file helpers; paths relative to the current directory or absolute. Parent folders are created.
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
void removeTree(const std::string& path);
// Folder of the test executables (where the built libraries also lie), with a trailing "/".
std::string binDir();
// UTF-8 -> Windows-1251 bytes.
std::string cp1251(const char* utf8);

}  // namespace testsupport
