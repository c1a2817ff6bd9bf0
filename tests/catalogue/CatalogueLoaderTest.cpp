// The catalogue loader: line kinds, value cutting, counters, tables, outline and tree building.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "support/TempDir.h"

using namespace quorrel;
using testsupport::cp1251;
using testsupport::readFile;
using testsupport::TempWorkDir;
using testsupport::writeFile;

namespace {

struct Loaded {
  FolderTable folders{};
  GameTable games{};
  CatalogueLoad r;
  std::string outline;
};

// Loads `text` (CR LF lines joined for the test) from a fresh file into the given tables.
void loadInto(Loaded& l, const std::string& text) {
  writeFile("Javadata.xml", text);
  l.r = loadCatalogueFile("Javadata.xml", "javabase.tmp", l.folders, l.games);
  l.outline = readFile("javabase.tmp");
}

std::string lines(std::initializer_list<std::string> ls) {
  std::string s;
  for (const auto& l : ls) s += l + "\r\n";
  return s;
}

const std::string News = cp1251("Новости");

}  // namespace

TEST(CatalogueValues, AttributeIsCutFromFirstOccurrenceOfWord) {
  EXPECT_EQ(attributeValue("<folder name=\"Arcade\" desc=\"Fast\" pic=\"arc\">", "name"), "Arcade");
  EXPECT_EQ(attributeValue("<folder name=\"Arcade\" desc=\"Fast\" pic=\"arc\">", "pic"), "arc");
  // The search ignores attribute boundaries: the letters of "pic" inside the name take its place.
  EXPECT_EQ(attributeValue("<folder name=\"epic\" pic=\"x\">", "pic"), "pic=");
  EXPECT_EQ(attributeValue("<folder name=\"\" pic=\"x\">", "name"), "");
  // Absent attribute, and a value whose closing quote is missing.
  EXPECT_EQ(attributeValue("<folder name=\"A\">", "desc"), "");
  EXPECT_EQ(attributeValue("<game name=\"Open ended", "name"), "Open ended");
  // The word at the very end of the line.
  EXPECT_EQ(attributeValue("<game name", "name"), "");
}

TEST(CatalogueLoad, WellFormedCatalogueFillsTablesCountersAndOutline) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<model name=\"SGH-X100\" disp=\"128\" desc=\"Phone\" vers=\"2.5\" pic=\"x100\">",
                     "<folder name=\"Arcade\" desc=\"Fast games\" pic=\"arcade\">", "<game name=\"Bounce\">",
                     "<size=\"12345\">", "<file=\"bounce\">", "<screen=\"bounce.gif\">", "<owner=\"Ivan\">",
                     "<desc=\"Ball game\">", "</folder>", "<folder name=\"Puzzle\" desc=\"Think\" pic=\"puzzle\">",
                     "<folder name=\"Inner\" desc=\"\" pic=\"\">", "<game name=\"Deep\">", "</folder>", "</folder>",
                     "<end>"}));
  EXPECT_EQ(l.r.folderCount, 4);
  EXPECT_EQ(l.r.gameCount, 2);
  EXPECT_TRUE(l.r.versionSeen);
  EXPECT_EQ(l.r.version, "2.5");
  EXPECT_EQ(l.r.pictureHeight, 128);
  EXPECT_EQ(l.folders[1].name, "SGH-X100");
  EXPECT_EQ(l.folders[1].picture, "x100");
  EXPECT_EQ(l.folders[2].description, "Fast games");
  EXPECT_EQ(l.games[1].name, "Bounce");
  EXPECT_EQ(l.games[1].size, "12345");
  EXPECT_EQ(l.games[1].file, "bounce");
  EXPECT_EQ(l.games[1].screen, "bounce.gif");
  EXPECT_EQ(l.games[1].owner, "Ivan");
  EXPECT_EQ(l.games[1].description, "Ball game");
  EXPECT_EQ(l.outline, lines({"SGH-X100", " Arcade", "  Bounce", " Puzzle", "  Inner", "   Deep", News}));
}

TEST(CatalogueLoad, LinesThatMatchNoTagAreSkippedAndEndStopsReading) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<model name=\"M\" vers=\"1\">", "  <folder name=\"Indented\">", "<FOLDER name=\"Upper\">",
                     "<game name=\"G\">", "<end> trailing text", "<game name=\"After\">"}));
  EXPECT_EQ(l.r.folderCount, 1);
  EXPECT_EQ(l.r.gameCount, 1);
  EXPECT_EQ(l.outline, lines({"M", " G", News}));
}

TEST(CatalogueLoad, OnlyEndGivesEmptyTablesAndTheNewsEntry) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, "<end>\r\n");
  EXPECT_EQ(l.r.folderCount, 0);
  EXPECT_EQ(l.r.gameCount, 0);
  EXPECT_FALSE(l.r.versionSeen);
  EXPECT_EQ(l.outline, lines({News}));
}

TEST(CatalogueLoad, EndOfFileWithoutEndFinishesAsAtEndAndLoneLfEndsLines) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, "<model name=\"M\">\n<game name=\"G\">\n<size=\"7\">");  // no final line break either
  EXPECT_EQ(l.r.gameCount, 1);
  EXPECT_EQ(l.games[1].size, "7");
  EXPECT_EQ(l.outline, lines({"M", " G", News}));
}

TEST(CatalogueLoad, DetailLinesFillTheMostRecentGameInAnyOrderAndRepeatedLinesOverwrite) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<size=\"1\">", "<model name=\"M\">", "<game name=\"A\">", "<owner=\"o\">", "<size=\"10\">",
                     "<size=\"20\">", "<game name=\"B\">", "<desc=\"d\">", "<end>"}));
  EXPECT_EQ(l.games[1].size, "20");  // the size before any game line was ignored
  EXPECT_EQ(l.games[1].owner, "o");
  EXPECT_EQ(l.games[2].description, "d");
  EXPECT_EQ(l.games[2].size, "");
}

TEST(CatalogueLoad, SecondModelWinsVersionAndPictureSizeAndOtherDispLeavesIt) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<model name=\"A\" disp=\"128\" vers=\"1\">", "<game name=\"g\">",
                     "<model name=\"B\" disp=\"160\" vers=\"2\">", "<folder name=\"F\">", "</folder>",
                     "<model name=\"C\" disp=\"176\" vers=\"3\">", "<end>"}));
  EXPECT_EQ(l.r.version, "3");
  EXPECT_EQ(l.r.pictureHeight, 160);
  EXPECT_EQ(l.r.folderCount, 4);
  EXPECT_EQ(l.outline, lines({"A", " g", "B", " F", "C", News}));
}

TEST(CatalogueLoad, ASmallerLoadKeepsHigherEntriesAndMarksSurviveWithoutDesc) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<model name=\"M\">", "<game name=\"A\">", "<desc=\"a\">", "<game name=\"B\">", "<desc=\"b\">",
                     "<game name=\"C\">", "<end>"}));
  l.games[1].selected = 1;
  l.games[2].selected = 1;
  l.games[3].selected = 1;
  loadInto(l, lines({"<model name=\"M\">", "<game name=\"X\">", "<desc=\"x\">", "<game name=\"Y\">", "<end>"}));
  EXPECT_EQ(l.r.gameCount, 2);
  EXPECT_EQ(l.games[1].selected, 0);  // reset by its desc line
  EXPECT_EQ(l.games[2].selected, 1);  // no desc line: keeps the mark its index had
  EXPECT_EQ(l.games[3].name, "C");    // above the new count: untouched
  EXPECT_EQ(l.games[3].selected, 1);
}

TEST(CatalogueLoad, MissingCatalogueFailsWithFileNotFoundAndChangesNothing) {
  TempWorkDir dir;
  FolderTable folders{};
  GameTable games{};
  folders[1].name = "kept";
  try {
    loadCatalogueFile("Javadata.xml", "javabase.tmp", folders, games);
    FAIL() << "no error";
  } catch (const QuorrelError& e) {
    EXPECT_STREQ(e.what(), "File not found");
  }
  EXPECT_EQ(folders[1].name, "kept");
  EXPECT_FALSE(testsupport::exists("javabase.tmp"));
}

TEST(CatalogueCapacity, NothingIsStoredPastTheTablesAndLeftOutEntriesAreCounted) {
  TempWorkDir dir;
  std::string text = "<model name=\"M\">\r\n";
  for (int i = 1; i <= 252; ++i) {
    text += "<folder name=\"F" + std::to_string(i) + "\">\r\n";
    if (i == 251) text += "<folder name=\"Nested\">\r\n<game name=\"inside\">\r\n<size=\"9\">\r\n</folder>\r\n";
    text += "<game name=\"G" + std::to_string(i) + "\">\r\n</folder>\r\n";
  }
  for (int i = 0; i < 800; ++i) text += "<game name=\"T" + std::to_string(i) + "\">\r\n<size=\"1\">\r\n";
  text += "<end>\r\n";
  Loaded l;
  loadInto(l, text);
  EXPECT_EQ(l.r.folderCount, FolderCapacity);
  EXPECT_EQ(l.r.gameCount, GameCapacity);
  // The model took one entry, so F250, F251 with its nested folder, and F252 are left out.
  EXPECT_EQ(l.r.foldersLeftOut, 4);
  // Games inside the left-out folders are left out with them; the rest stop at the capacity.
  EXPECT_EQ(l.r.gamesLeftOut, 4 + (249 + 800 - GameCapacity));
  EXPECT_EQ(l.games[GameCapacity].size, "1");
  // The outline stays a valid tree: every line at most one level below the one before.
  std::vector<TreeNode> nodes;
  EXPECT_NO_THROW(buildOutlineTree(readOutlineFile("javabase.tmp"), nodes));
  EXPECT_EQ(nodes.size(), static_cast<size_t>(FolderCapacity + GameCapacity + 1));
}

TEST(OutlineTree, DepthDecidesSiblingsChildrenAndAncestorsSiblings) {
  std::vector<TreeNode> nodes;
  buildOutlineTree({"M", " F", "  G1", "   Deep", "  G2", " F2", "N", "\tT"}, nodes);
  ASSERT_EQ(nodes.size(), 8u);
  EXPECT_EQ(nodes[0].parent, -1);
  EXPECT_EQ(nodes[1].parent, 0);
  EXPECT_EQ(nodes[2].parent, 1);
  EXPECT_EQ(nodes[3].parent, 2);
  EXPECT_EQ(nodes[4].parent, 1);  // back up from depth 3 to 2
  EXPECT_EQ(nodes[5].parent, 0);
  EXPECT_EQ(nodes[6].parent, -1);
  EXPECT_EQ(nodes[7].parent, 6);  // a tab counts like a blank
  EXPECT_EQ(nodes[7].text, "T");
}

TEST(OutlineTree, FirstLineIsARootWhateverItsDepthAndTooDeepIsAnError) {
  std::vector<TreeNode> nodes;
  buildOutlineTree({"  Game outside", "Next"}, nodes);
  EXPECT_EQ(nodes[0].parent, -1);
  EXPECT_EQ(nodes[1].parent, -1);
  try {
    buildOutlineTree({"M", "   Too deep", "after"}, nodes);
    FAIL() << "no error";
  } catch (const QuorrelError& e) {
    EXPECT_STREQ(e.what(), "Invalid level (3) for item \"Too deep\"");
  }
  EXPECT_EQ(nodes.size(), 1u);  // the nodes made before the error stay
}

TEST(OutlineTree, NameWithLeadingBlanksSitsDeeperAndLosesThem) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<model name=\"M\">", "<folder name=\"F\">", "<game name=\" Spaced\">", "<game name=\"\">",
                     "</folder>", "<end>"}));
  std::vector<TreeNode> nodes;
  EXPECT_THROW(buildOutlineTree(readOutlineFile("javabase.tmp"), nodes), QuorrelError);
  EXPECT_EQ(l.games[1].name, " Spaced");
}

TEST(CatalogueLoad, DetailLinesAfterFolderAndModelLinesStillFillTheLastGame) {
  TempWorkDir dir;
  Loaded l;
  loadInto(l, lines({"<model name=\"M\">", "<game name=\"G\">", "<folder name=\"F\">", "<size=\"100\">", "</folder>",
                     "<file=\"ff\">", "<model name=\"N\">", "<desc=\"late\">", "<end>"}));
  EXPECT_EQ(l.games[1].size, "100");
  EXPECT_EQ(l.games[1].file, "ff");
  EXPECT_EQ(l.games[1].description, "late");
  // A game left out (past the capacity) takes its detail lines with it, whatever comes between.
  std::string text = "<model name=\"M\">\r\n";
  for (int i = 0; i <= GameCapacity; ++i) text += "<game name=\"G" + std::to_string(i) + "\">\r\n";
  loadInto(l, text + lines({"<folder name=\"F\">", "<size=\"lost\">", "<end>"}));
  EXPECT_EQ(l.games[GameCapacity].size, "");
}

namespace {

// Loads a catalogue that must fail, into tables holding an earlier load; returns the error text and checks
// that nothing of the earlier load changed and no outline is left.
std::string failingLoad(const std::function<void()>& makeCatalogue, const ReadChunk& readChunk = {}) {
  Loaded l;
  std::filesystem::remove("Javadata.xml");
  loadInto(l, lines({"<model name=\"Old\" vers=\"1\">", "<game name=\"A\">", "<size=\"5\">", "<end>"}));
  l.games[1].selected = 1;
  std::filesystem::remove("Javadata.xml");
  std::filesystem::remove("javabase.tmp");
  makeCatalogue();
  std::string error = "no error";
  try {
    loadCatalogueFile("Javadata.xml", "javabase.tmp", l.folders, l.games, readChunk);
  } catch (const QuorrelError& e) {
    error = e.what();
  }
  EXPECT_EQ(l.folders[1].name, "Old");
  EXPECT_EQ(l.games[1].name, "A");
  EXPECT_EQ(l.games[1].size, "5");
  EXPECT_EQ(l.games[1].selected, 1);
  EXPECT_EQ(l.games[2].name, "");
  EXPECT_FALSE(testsupport::exists("javabase.tmp"));
  return error;
}

const std::string Changed =
    lines({"<model name=\"New\" vers=\"2\">", "<game name=\"B\">", "<desc=\"b\">", "<game name=\"C\">"});

}  // namespace

TEST(CatalogueLoad, UnreadableCatalogueIsAnErrorAndChangesNothing) {
  TempWorkDir dir;
  // A folder, a FIFO (which must not block the load) and a device are not catalogues.
  EXPECT_EQ(failingLoad([] { std::filesystem::create_directory("Javadata.xml"); }), "File access denied");
  EXPECT_EQ(failingLoad([] { ASSERT_EQ(::mkfifo("Javadata.xml", 0600), 0); }), "File access denied");
  EXPECT_EQ(failingLoad([] { std::filesystem::create_symlink("/dev/zero", "Javadata.xml"); }), "File access denied");
  // A regular file whose very first read fails.
  EXPECT_EQ(failingLoad([] { std::filesystem::create_symlink("/proc/self/mem", "Javadata.xml"); }), "I/O error 5");
  // A read error part-way, after new entries were already read: the same error, and still nothing changed.
  int calls = 0;
  const ReadChunk failSecondRead = [&calls](int fd, char* buf, std::size_t size) -> long {
    if (++calls == 1) return ::read(fd, buf, std::min<std::size_t>(size, Changed.size() - 3));
    errno = EIO;
    return -1;
  };
  EXPECT_EQ(failingLoad([] { writeFile("Javadata.xml", Changed + "<end>\r\n"); }, failSecondRead), "I/O error 5");
  EXPECT_EQ(calls, 2);
}

TEST(CatalogueHugeText, ValuesAndLinesAreCutAndCounted) {
  TempWorkDir dir;
  const std::string big(MaxValueBytes + 10, 'v');
  const std::string huge(MaxLineBytes + 5, 'h');
  struct Case {
    const char* what;
    std::string line;
    std::string name, size, desc;  // of game 1
    int linesCut, valuesCut;
  };
  const std::vector<Case> cases = {
      {"value over the limit", "<desc=\"" + big + "\">", "G", "", big.substr(0, MaxValueBytes), 0, 1},
      {"value exactly at the limit", "<desc=\"" + big.substr(0, MaxValueBytes) + "\">", "G", "",
       big.substr(0, MaxValueBytes), 0, 0},
      {"unterminated value", "<desc=\"" + big, "G", "", big.substr(0, MaxValueBytes), 0, 1},
      // The rest of an over-long line is never looked at: the line after it is read as usual.
      {"line over the limit", "<desc=\"" + huge + "\">\r\n<size=\"7\">", "G", "7", huge.substr(0, MaxValueBytes), 1, 1},
      {"line exactly at the limit, CR LF", "<desc=\"" + huge.substr(0, MaxLineBytes - 7) + "\r\n<size=\"8\">", "G", "8",
       huge.substr(0, MaxValueBytes), 0, 1},
      {"name over the limit", "<game name=\"" + big + "\">", big.substr(0, MaxValueBytes), "", "", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded l;
    loadInto(l, lines({"<model name=\"M\">", "<game name=\"G\">", c.line, "<end>"}));
    const GameEntry& g = l.games[static_cast<size_t>(l.r.gameCount)];
    EXPECT_EQ(g.name, c.name);
    EXPECT_EQ(g.size, c.size);
    EXPECT_EQ(g.description, c.desc);
    EXPECT_EQ(l.r.linesCut, c.linesCut);
    EXPECT_EQ(l.r.valuesCut, c.valuesCut);
  }
}

// ---- The user's own catalogue, read after the main one ----

TEST(CatalogueLoadOwn, FollowsTheMainCatalogueInTheSameTablesAndLeavesItsVersionAndPictureAlone) {
  TempWorkDir dir;
  auto l = std::make_unique<Loaded>();
  l->games[3].selected = 1;  // a mark left at the index the own game takes, reset by its desc line
  writeFile("Javadata.xml", lines({"<model name=\"X\" disp=\"160\" desc=\"m\" vers=\"7\" pic=\"x\">",
                                   "<folder name=\"F\" desc=\"\" pic=\"\">", "<game name=\"A\">", "<file=\"a\">",
                                   "<game name=\"B\">", "<file=\"b\">", "</folder>", "<end>"}));
  // Its detail lines before any game fill nothing (not the main catalogue's last game), and its model line's
  // version and picture height are not taken.
  writeFile("Mygames.xml", lines({"<file=\"stray\">", "<model name=\"Own\" disp=\"128\" desc=\"o\" vers=\"99\" pic=\"p\">",
                                  "<game name=\"A\">", "<file=\"mine\">", "<desc=\"d\">", "<end>"}));
  l->r = loadCatalogueFiles("Javadata.xml", "Mygames.xml", "javabase.tmp", l->folders, l->games);
  EXPECT_EQ(readFile("javabase.tmp"), lines({"X", " F", "  A", "  B", "Own", " A", News}));
  EXPECT_EQ(l->r.ownFirstNode, 4);
  EXPECT_EQ(l->r.serverFolderCount, 2);
  EXPECT_EQ(l->r.serverGameCount, 2);
  EXPECT_EQ(l->r.folderCount, 3);
  EXPECT_EQ(l->r.gameCount, 3);
  EXPECT_EQ(l->r.version, "7");
  EXPECT_EQ(l->r.pictureHeight, 160);
  EXPECT_EQ(l->games[2].file, "b");
  EXPECT_EQ(l->games[3].file, "mine");
  EXPECT_EQ(l->games[3].selected, 0);
  EXPECT_EQ(l->folders[3].name, "Own");

  // The capacity is shared: own games past it are left out and counted.
  std::string many = "<model name=\"X\">\r\n";
  for (int i = 0; i < GameCapacity - 1; ++i) many += "<game name=\"G" + std::to_string(i) + "\">\r\n";
  writeFile("Javadata.xml", many + "<end>\r\n");
  writeFile("Mygames.xml", lines({"<model name=\"Own\">", "<game name=\"Y\">", "<game name=\"Z\">", "<end>"}));
  l->r = loadCatalogueFiles("Javadata.xml", "Mygames.xml", "javabase.tmp", l->folders, l->games);
  EXPECT_EQ(l->r.gameCount, GameCapacity);
  EXPECT_EQ(l->r.gamesLeftOut, 1);
  EXPECT_EQ(l->games[GameCapacity].name, "Y");
}

TEST(CatalogueLoadOwn, OneThatCannotBeReadIsLeftOutWholeAndTheMainOneLoadsAsAlone) {
  TempWorkDir dir;
  auto alone = std::make_unique<Loaded>();
  const std::string main = lines({"<model name=\"X\" vers=\"7\">", "<game name=\"A\">", "<end>"});
  loadInto(*alone, main);
  auto l = std::make_unique<Loaded>();
  std::filesystem::create_directory("Mygames.xml");
  l->r = loadCatalogueFiles("Javadata.xml", "Mygames.xml", "javabase.tmp", l->folders, l->games);
  EXPECT_FALSE(l->r.ownError.empty());
  EXPECT_EQ(l->r.ownFirstNode, -1);
  EXPECT_EQ(readFile("javabase.tmp"), alone->outline);
  EXPECT_EQ(l->r.gameCount, 1);
  EXPECT_EQ(l->r.folderCount, 1);
  // A read error part-way takes back all of the own catalogue, also what was read before it: the main file
  // takes one read (it ends at "<end>"), the own one (without "<end>") fails at its second.
  std::filesystem::remove("Mygames.xml");
  writeFile("Mygames.xml", lines({"<model name=\"Own\">", "<game name=\"Y\">"}));
  int reads = 0;
  const ReadChunk failSecondFile = [&reads](int fd, char* buf, std::size_t size) -> long {
    if (++reads == 3) {
      errno = EIO;
      return -1;
    }
    return ::read(fd, buf, size);
  };
  l->r = loadCatalogueFiles("Javadata.xml", "Mygames.xml", "javabase.tmp", l->folders, l->games, failSecondFile);
  EXPECT_FALSE(l->r.ownError.empty());
  EXPECT_EQ(l->r.gameCount, 1);
  EXPECT_EQ(readFile("javabase.tmp"), alone->outline);
}
