#pragma once
// The game catalogue: the two fixed-capacity tables, the loader of "Javadata.xml" and the tree outline.
// No widgets here; TMainForm::LoadCatalogue glues this to TreeView1.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorrel {

struct TFolderItem {
  std::string Name;
  std::string Desc;
  std::string Pic;
};

struct TJavaBaseItem {
  std::string Name;
  std::string Size;
  std::string File;
  std::string Screen;
  std::string Desc;
  std::string Owner;
  std::uint8_t Selected = 0;
};

constexpr int FolderCapacity = 250;
constexpr int GameCapacity = 1000;

// Bounds on what a load keeps, far above any real catalogue: a value is cut at MaxValueBytes, and of a line
// only the first MaxLineBytes are looked at (the rest of it is read past, never kept).
constexpr std::size_t MaxValueBytes = 64 * 1024;
constexpr std::size_t MaxLineBytes = 1024 * 1024;

// 1-based: index 0 is never used. Entries live for the whole run and are only ever overwritten by a load.
using FolderTable = std::array<TFolderItem, FolderCapacity + 1>;
using GameTable = std::array<TJavaBaseItem, GameCapacity + 1>;

struct CatalogueLoad {
  int FolderCount = 0;
  int GameCount = 0;
  bool versionSeen = false;  // a model line was read: BaseVersion takes `version`
  std::string version;
  int pictureHeight = 0;   // 128 or 160 from the last model line that named one; 0 = leave as it is
  int foldersLeftOut = 0;  // model and folder lines past the table's capacity
  int gamesLeftOut = 0;    // game lines past the table's capacity, or inside a folder left out
  int linesCut = 0;        // lines longer than MaxLineBytes
  int valuesCut = 0;       // values longer than MaxValueBytes
};

// Reads up to `size` bytes of fd into buf, as read(2) does. The loader reads through ::read; tests pass their
// own to fail part-way.
using ReadChunk = std::function<long(int fd, char* buf, std::size_t size)>;

// Cuts the value of attribute `word` out of a line: it starts two characters after the first occurrence of
// the word and runs to the next double quote (or the end of the line). Absent word: empty.
std::string attributeValue(const std::string& line, const std::string& word);

// The outline text of the news entry ("Новости" in ANSI).
const std::string& newsNodeText();

// Reads the catalogue file into the tables and writes the tree outline to outlinePath (one line per node,
// CR LF, ANSI, the news entry last). Only a regular file is read (anything else is "File access denied").
// Throws QuorrelError when either file cannot be opened or the catalogue cannot be read to its end; then the
// tables are unchanged and no outline is left. Entries past the capacities are not stored and get no outline
// line. The file is read in bounded blocks, so memory stays small whatever the length of its lines; `onBlock`,
// when given, is called after each block (the window keeps painting from there while a huge file is read).
CatalogueLoad loadCatalogueFile(const std::string& cataloguePath, const std::string& outlinePath, FolderTable& folders,
                                GameTable& games, const ReadChunk& readChunk = {},
                                const std::function<void()>& onBlock = {});

struct TreeNode {
  std::string text;
  int parent = -1;  // index into the node list, -1 for a root
};

// One node per outline line, in order. A line's depth is its count of leading blanks and tabs. A line more
// than one level deeper than the node before it throws QuorrelError "Invalid level (%d) for item \"%s\""
// after the nodes made so far are in `nodes`.
void buildOutlineTree(const std::vector<std::string>& lines, std::vector<TreeNode>& nodes);

// Reads an outline file into lines (CR LF or LF); throws QuorrelError when it cannot be opened.
std::vector<std::string> readOutlineFile(const std::string& path);

}  // namespace quorrel
