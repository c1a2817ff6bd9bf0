#pragma once
// The update server's tree made from a folder of games: everything an update of any mode asks for, and nothing
// it does not:
//   Javadata.zip              the catalogue, Javadata.xml, alone in it
//   Base/news.new             the news
//   Base/games/F.jad, F.jar   each game's pair, under a safe unique name F
//   Base/screen/F.gif         each game's screenshot; noscr.gif for games without one
//   Base/dir/                 the folder pictures, template.gif, news.gif and dir.lst naming them all
// noscr.gif, template.gif and news.gif come from the top of the games' folder when they are there.
#include <functional>
#include <string>
#include <vector>

namespace quorrel::suites {

struct BuildOptions {
  std::string model = "Samsung SGH";  // the root's text
  std::string modelDesc;              // the root's description; a count of the games when empty
  int pictureHeight = 128;            // 128 or 160: the phone screen the pictures are made for
  std::string version;                // the catalogue's version; today's date when empty
  std::string news;                   // the news text (UTF-8); a line about the catalogue when empty
  std::function<void(std::size_t done, std::size_t total)> progress;
};

struct BuildReport {
  std::size_t games = 0;                // games in the catalogue
  std::vector<std::string> leftOut;     // suites left out, each "path: reason"
  std::vector<std::string> notes;       // mended descriptors and texts, converted pictures
};

// Builds the tree in `outDir`. The games' folder is only read. `outDir` must be absent, empty or a tree made
// before (it holds Javadata.zip and Base/): then files of the earlier build that the new one does not have are
// removed from Base/games, Base/screen and Base/dir, and nothing else. Throws QuorrelError (nothing half
// written under the catalogue's name: Javadata.zip is placed last, by a rename) when the tree cannot be made.
BuildReport buildServerTree(const std::string& gamesDir, const std::string& outDir, const BuildOptions& options);

}  // namespace quorrel::suites
