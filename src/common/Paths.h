#pragma once
// Paths of the working folder. The application reads and writes everything relative to the process's
// current directory; relative names may be written with "\" (as the original layout does) and use "/" on disk.
#include <string>

namespace quorrel {

// The current directory with a trailing "/".
std::string currentDir();
// "Base\games\x.jad" -> "Base/games/x.jad".
std::string nativePath(std::string path);
// A relative name in ANSI bytes (a catalogue `File` or `Screen`, a "dir.lst" line, "Base\\games\\") as a
// name on disk: "/" between folders, the text in the platform's UTF-8. ASCII names are unchanged.
std::string diskName(const std::string& ansiRelative);
// currentDir() + diskName(relative).
std::string localPath(const std::string& relative);

// Whether a name from a catalogue or a server, put after its folder ("Base\\screen\\" + Screen), names that
// folder or something below it: not absolute, and no ".." among its parts ("\\" and "/" both separate
// parts). The test is made on the text alone, before anything on disk is read, asked about or requested; an
// empty name names the folder itself.
bool staysInFolder(const std::string& name);
// localPath(folder + name) when the name stays in the folder; empty when it does not.
std::string pathInFolder(const std::string& folder, const std::string& name);

bool fileExists(const std::string& path);  // a regular file (or a link to one)
bool directoryExists(const std::string& path);
// Creates one level; true when the folder exists afterwards.
bool createDirectory(const std::string& path);
// Size of an existing file in bytes, -1 when it cannot be read.
long long fileSize(const std::string& path);
// Folder that holds the running executable, with a trailing "/".
std::string executableDir();

}  // namespace quorrel
