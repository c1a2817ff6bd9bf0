#pragma once
// Writes "Javadata.xml" so that the program's own loader reads back every value exactly: the loader cuts values
// by position and ends each at the next double quote, finds an attribute at the first place its word occurs in
// the line, and reads Windows-1251 one line at a time. The writer mends texts that would not survive that:
//   - a double quote becomes a typographic one (“ or ”), which reads the same and ends nothing;
//   - line breaks, tabs and other control characters become a blank; blanks at the start of a name go (the
//     tree would take them for depth);
//   - a later attribute's word (name, disp, desc, vers, pic) inside an earlier value gets one Latin letter
//     replaced by its Cyrillic twin (а, е, с, р, і), so it reads the same and the loader no longer finds it there;
//   - characters Windows-1251 lacks become "?";
//   - names repeated in one catalogue get " (2)", " (3)"...: the browser finds a node's entry by its text.
// Each mend is reported as a note naming the text it changed.
#include <set>
#include <string>
#include <vector>

namespace quorrel::suites {

// Texts are UTF-8 here; the writer converts them.
struct CatalogueGame {
  std::string name;
  std::string size;    // decimal bytes of the .jar
  std::string file;    // base name of the .jad/.jar pair, already safe (see safeFileNames)
  std::string screen;  // screenshot file name in Base/screen/
  std::string owner;
  std::string desc;
};

struct CatalogueFolder {
  std::string name;
  std::string desc;
  std::string pic;  // base name of its picture in Base/dir/, already safe
  std::vector<CatalogueGame> games;
};

struct CatalogueModel {
  std::string name;  // the root's text, the phone model
  std::string desc;
  std::string version;
  std::string pic;
  int pictureHeight = 128;          // 128 or 160
  std::vector<CatalogueGame> games;  // games directly below the root
  std::vector<CatalogueFolder> folders;
};

struct WrittenCatalogue {
  std::string bytes;               // the file, Windows-1251, CR LF
  std::vector<std::string> notes;  // one sentence per mended text
  std::vector<std::string> refused;  // games left out, each with its reason
};

// The catalogue as the loader must read it. Games past the tables' capacity (1000 games, 250 folders with the
// root) are left out with a reason. The written file is read back through the loader in `scratchDir`; a game
// that does not read back to the values written is left out with a reason (never written half right).
WrittenCatalogue writeCatalogue(const CatalogueModel& model, const std::string& scratchDir);

// A value mended as the header says. laterWords: the attribute words that the loader looks for after this value
// in the same line. Returns Windows-1251 bytes; `changed` tells whether anything was mended.
std::string catalogueText(const std::string& utf8, const std::vector<std::string>& laterWords, bool& changed);

// UTF-8 -> Windows-1251, characters the code page lacks as "?"; line breaks stay.
std::string ansiText(const std::string& utf8);

// Safe, unique base names for the games' files from the names they came with: ASCII letters, digits, "-" and
// "_" (anything else "_"), at most 40 characters, unique without regard to case (the phone's and Windows'
// folders ignore case), never empty. `taken`: names already in use (lower case), which none of them will be.
std::vector<std::string> safeFileNames(const std::vector<std::string>& wanted, std::set<std::string> taken = {});

}  // namespace quorrel::suites
