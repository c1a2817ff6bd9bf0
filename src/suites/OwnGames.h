#pragma once
// The user's own games: .jar/.jad files and folders the user adds, copied into Base/games/ and listed in a
// catalogue of their own, "Mygames.xml" beside "Javadata.xml", which no update replaces. The loader reads it
// after the main catalogue into the same tables; its one root is "Мои игры", with the games directly below it.
// No widgets here: the window hands in what the user chose and answers through the prompter.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "suites/GameFolder.h"

namespace quorrel {
class CommandState;
class Catalogue;
class MessageLog;
class Prompter;
}  // namespace quorrel

namespace quorrel::suites {

// The root's text, UTF-8.
const std::string& ownRootName();

struct AddPlan {
  std::vector<FoundSuite> suites;    // what can be added, each with its descriptor mended (`fixed`)
  std::vector<std::string> refused;  // one sentence each: what cannot be added, and why
  std::vector<std::string> mended;   // one sentence each: a descriptor that is corrected as it is added
};

// Reads and checks what the user chose: .jar files (with the .jad of the same name beside them, else a
// descriptor made from the manifest), .jad files (with the archive they name beside them) and folders (their
// games and their subfolders'). A game given twice is taken once. Nothing is written.
AddPlan planOwnGames(const std::vector<std::string>& paths,
                     const std::function<void(std::size_t, std::size_t)>& progress = {});

// Copies the planned games into Base/games/ of workDir under names that no file there and no game of either
// catalogue has (a server game's files are never replaced), their screenshots as GIFs into Base/screen/, and
// rewrites Mygames.xml with them after the games already there. Every file is written under a temporary name
// and put in place by a rename that replaces nothing; when anything fails, whatever was placed is removed
// again, Mygames.xml stays as it was, and QuorrelError says why. Refused whole, before anything is written,
// when the tables (shared with the loaded main catalogue) have no room for all of them.
// Returns the names (UTF-8) of the games added, as the tree shows them.
std::vector<std::string> addOwnGames(const AddPlan& plan, const Catalogue& catalogue, const std::string& workDir);

// Takes the own game at table index `index` out of Mygames.xml (the file goes when no game is left) and
// deletes the files it was added with: its .jad and .jar, and its screenshot unless another game shows it. A
// file that a game of the main catalogue also names is kept. Throws QuorrelError with nothing changed when
// the catalogue cannot be rewritten.
void removeOwnGame(const Catalogue& catalogue, int index, const std::string& workDir);

// The window's commands: they ask the user what the functions above need to know, run them while the command
// state keeps the other long commands out, and reload the catalogue afterwards.
class OwnGamesCommands {
 public:
  OwnGamesCommands(Catalogue& catalogue, Prompter& prompter, MessageLog& log, CommandState& commands,
                   std::function<void()> reloadCatalogue);

  // "Добавить игры...", files dropped on the window, the command line. Problems are shown before anything is
  // added; a list with nothing that can be added adds nothing.
  void add(const std::vector<std::string>& paths);
  // "Удалить из моих игр", after the user's confirmation.
  void remove(int index);

 private:
  Catalogue& catalogue_;
  Prompter& prompter_;
  MessageLog& log_;
  CommandState& commands_;
  std::function<void()> reload_;
};

}  // namespace quorrel::suites
