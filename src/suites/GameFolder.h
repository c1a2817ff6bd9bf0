#pragma once
// A folder of the user's games as the catalogue tools see it: each .jar with the .jad of the same name beside it
// (or the .jad whose MIDlet-Jar-URL names it), read and checked. Games directly in the folder and in each of
// its subfolders (a subfolder's own subfolders count as part of it). Links are never followed, and nothing in
// the folder is ever written here.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "suites/Suite.h"

namespace quorrel::suites {

struct FoundSuite {
  std::string jarPath;
  std::string jadPath;  // empty: the .jar came alone
  std::string folder;   // the subfolder's name (UTF-8), empty for the top
  std::string base;     // the .jar's name without its extension
  Jar jar;
  Attributes descriptor;              // as found (or made from the manifest when there is no .jad)
  std::vector<std::string> problems;  // checkSuite on what was found
  Attributes fixed;                   // the descriptor mended as far as it can be
  std::vector<std::string> left;      // problems that mending cannot remove: the suite cannot be installed
};

struct GameFolder {
  std::vector<FoundSuite> suites;       // in folder order, then by name
  std::vector<std::string> subfolders;  // names, sorted
  std::vector<std::string> strays;      // descriptors without an archive, each a sentence
};

// `progress(done, total)` after each suite. Throws QuorrelError when the folder cannot be read.
GameFolder scanGameFolder(const std::string& dir, const std::function<void(std::size_t, std::size_t)>& progress = {});

// One suite read and checked: the .jar, and its descriptor when jadPath is not empty (else one is made from the
// manifest). `folder` is kept as given.
FoundSuite readSuite(const std::string& jarPath, const std::string& jadPath, const std::string& folder = {});
// The archive a descriptor belongs to, beside it: the file its MIDlet-Jar-URL names, else the .jar of the same
// name; empty when there is none. Links are not taken.
std::string jarOfDescriptor(const std::string& jadPath);
// The descriptor of the same name beside a .jar (.jad in any usual case), or empty.
std::string descriptorOfJar(const std::string& jarPath);

// A screenshot, icon or folder picture larger than this is no picture of a phone game: it is left out unread.
constexpr std::uint64_t MaxPictureBytes = 4 * 1024 * 1024;

// The extension of a path in lower case, with its dot (".jar"); empty when it has none.
std::string lowerExtension(const std::filesystem::path& p);

// A picture file beside `pathWithoutExtension` (.gif, .png, .jpg, .jpeg, any case): its path or empty.
std::string pictureBeside(const std::string& pathWithoutExtension);

// The whole of a regular file, at most `bound` bytes (false when larger or unreadable).
bool readWholeFile(const std::string& path, std::uint64_t bound, std::string& bytes);

}  // namespace quorrel::suites
