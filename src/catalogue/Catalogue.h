#pragma once
// The game catalogue: the two fixed-capacity tables, the loader of "Javadata.xml" and the tree outline.
// No widgets here; CatalogueBrowser shows it in the window.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorrel {

struct FolderEntry {
  std::string name;
  std::string description;
  std::string picture;
};

struct GameEntry {
  std::string name;
  std::string size;
  std::string file;
  std::string screen;
  std::string description;
  std::string owner;
  std::uint8_t selected = 0;
};

// The user's own catalogue beside "Javadata.xml": the games the user added, which no update replaces.
constexpr const char* OwnCatalogueFileName = "Mygames.xml";

constexpr int FolderCapacity = 250;
constexpr int GameCapacity = 1000;

// Bounds on what a load keeps, far above any real catalogue: a value is cut at MaxValueBytes, and of a line
// only the first MaxLineBytes are looked at (the rest of it is read past, never kept).
constexpr std::size_t MaxValueBytes = 64 * 1024;
constexpr std::size_t MaxLineBytes = 1024 * 1024;

// 1-based: index 0 is never used. Entries live for the whole run and are only ever overwritten by a load.
using FolderTable = std::array<FolderEntry, FolderCapacity + 1>;
using GameTable = std::array<GameEntry, GameCapacity + 1>;

struct CatalogueLoad {
  int folderCount = 0;
  int gameCount = 0;
  bool versionSeen = false;  // a model line was read: baseVersion takes `version`
  std::string version;
  int pictureHeight = 0;   // 128 or 160 from the last model line that named one; 0 = leave as it is
  int foldersLeftOut = 0;  // model and folder lines past the table's capacity
  int gamesLeftOut = 0;    // game lines past the table's capacity, or inside a folder left out
  int linesCut = 0;        // lines longer than MaxLineBytes
  int valuesCut = 0;       // values longer than MaxValueBytes
  // The user's own catalogue, read after the main one into the same tables (see loadCatalogueFiles).
  int serverFolderCount = 0;  // entries 1.. of the main catalogue; the own ones follow
  int serverGameCount = 0;
  int ownFirstNode = -1;  // outline line of the own catalogue's first node; -1: none was read
  std::string ownError;   // why the own catalogue was not read (then none of it is in the tables)
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

// As loadCatalogueFile, then, when ownPath is not empty, the user's own catalogue read after it into the same
// tables: its entries follow the main catalogue's (the capacities are shared), its nodes come after the main
// catalogue's and before the news entry, and its model lines change neither the version nor the picture
// height. An own catalogue that cannot be read is left out whole, with the reason in ownError; the main one
// loads as it would alone.
CatalogueLoad loadCatalogueFiles(const std::string& cataloguePath, const std::string& ownPath,
                                 const std::string& outlinePath, FolderTable& folders, GameTable& games,
                                 const ReadChunk& readChunk = {}, const std::function<void()>& onBlock = {});

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

// The catalogue of the running program: the tables of the last load with their counts and version, the game
// on display and the user's marks.
class Catalogue {
 public:
  // loadCatalogueFile into the tables (onBlock as there); the counts and the version follow the load, and the game on
  // display is forgotten, since another game may now sit at its index and must not take its mark.
  // ownPath: the user's own catalogue read after it (loadCatalogueFiles), or empty.
  CatalogueLoad load(const std::string& cataloguePath, const std::string& outlinePath,
                     const std::function<void()>& onBlock = {}, const std::string& ownPath = {});

  const FolderTable& folders() const { return folders_; }
  const GameTable& games() const { return games_; }
  int folderCount() const { return folderCount_; }
  int gameCount() const { return gameCount_; }
  const std::string& baseVersion() const { return baseVersion_; }
  const FolderEntry& folder(int index) const { return folders_[static_cast<std::size_t>(index)]; }
  const GameEntry& game(int index) const { return games_[static_cast<std::size_t>(index)]; }

  // Lookups see only the entries of the current load: entries above the counts are leftovers of an earlier,
  // larger catalogue. 0 when there is none.
  int firstGameNamed(const std::string& name) const;
  // With several folders of the same name the later one is the one shown.
  int lastFolderNamed(const std::string& name) const;
  // The same within one part of the load: the main catalogue's entries, or the user's own.
  int firstGameNamed(const std::string& name, bool own) const;
  int lastFolderNamed(const std::string& name, bool own) const;

  // Entries 1 to serverGameCount (and serverFolderCount) came from the main catalogue, the rest of the
  // current load from the user's own.
  int serverGameCount() const { return serverGameCount_; }
  int serverFolderCount() const { return serverFolderCount_; }
  bool isOwnGame(int index) const { return index > serverGameCount_ && index <= gameCount_; }
  // 128 or 160: the height the main catalogue's pictures are made for (128 until a load names one).
  int pictureHeight() const { return pictureHeight_; }

  // Puts a game entry in place as a load would, the count of games growing to take it in; for catalogues
  // built in memory. Indices outside the table are ignored.
  void setGame(int index, const GameEntry& entry);
  // Sets the count of games of the current load; entries above it are leftovers of an earlier load.
  void setGameCount(int count) {
    gameCount_ = count;
    serverGameCount_ = count;
  }

  // Marks or unmarks a game of the current load for the batch upload; other indices are ignored.
  void setMark(int index, bool marked);
  // The indices of the marked games of the current load, in table order.
  std::vector<int> markedGames() const;

  // The game on display (0: none) and the file and screenshot names of the last game shown.
  int currentGame() const { return currentGame_; }
  void setCurrentGame(int index) { currentGame_ = index; }
  const std::string& currentGameFile() const { return currentGameFile_; }
  void setCurrentGameFile(const std::string& file) { currentGameFile_ = file; }
  const std::string& currentGameScreen() const { return currentGameScreen_; }
  void setCurrentGameScreen(const std::string& screen) { currentGameScreen_ = screen; }

 private:
  FolderTable folders_{};
  GameTable games_{};
  int folderCount_ = 0;
  int gameCount_ = 0;
  int serverFolderCount_ = 0;
  int serverGameCount_ = 0;
  int pictureHeight_ = 128;
  std::string baseVersion_;
  int currentGame_ = 0;
  std::string currentGameFile_;
  std::string currentGameScreen_;
};

}  // namespace quorrel
