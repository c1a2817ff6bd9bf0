#include "suites/OwnGames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

#include "catalogue/Catalogue.h"
#include "common/Ansi.h"
#include "common/CommandState.h"
#include "common/Errors.h"
#include "common/MessageLog.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/WorkingFolder.h"
#include "suites/CatalogueWriter.h"
#include "suites/GifPicture.h"

namespace fs = std::filesystem;

namespace quorrel::suites {

namespace {

// The root's picture in Base/dir/: a name the update server's folders do not use.
const char* const RootPicture = "mygames";

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : " ") + p;
  return text;
}

std::string utf8(const std::string& ansiBytes) { return fromAnsi(ansiBytes).toStdString(); }

// A name the files of an own game can have: the ones this code gives (see safeFileNames). A name written into
// Mygames.xml by other hands is never used to delete anything.
bool ownFileName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return name != "." && name != ".." && name.find("..") == std::string::npos;
}

// ---- Files written safely ---------------------------------------------------------------------------------

// A temporary file beside `finalPath`, holding `bytes` (or a copy of the file `from`). Its path is returned.
std::string writeTemporary(const std::string& finalPath, const std::string& bytes, const std::string& from = {}) {
  const fs::path target(finalPath);
  std::string templ = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(templ.data());
  if (fd < 0) throw QuorrelError("Не могу записать " + finalPath + ": " + ioErrorText(errno));
  ::fchmod(
      fd, 0644 & ~[] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
      }());
  auto fail = [&](int error) {
    ::close(fd);
    ::unlink(templ.c_str());
    throw QuorrelError("Не могу записать " + finalPath + ": " + ioErrorText(error));
  };
  auto writeAll = [&](const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(n < 0 ? errno : ENOSPC);
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  };
  if (from.empty()) {
    writeAll(bytes.data(), bytes.size());
  } else {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) fail(errno);
    std::vector<char> buf(256 * 1024);
    while (true) {
      const ssize_t n = ::read(in, buf.data(), buf.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int error = errno;
        ::close(in);
        fail(error);
      }
      if (n == 0) break;
      writeAll(buf.data(), static_cast<std::size_t>(n));
    }
    ::close(in);
  }
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    ::unlink(templ.c_str());
    throw QuorrelError("Не могу записать " + finalPath + ": " + ioErrorText(errno));
  }
  return templ;
}

// Puts a temporary file in place under a name that must still be free: nothing is ever replaced.
void placeNew(const std::string& temporary, const std::string& finalPath) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EINVAL || error == ENOSYS) {  // a file system without the flag: a hard link replaces nothing
    if (::link(temporary.c_str(), finalPath.c_str()) == 0) {
      ::unlink(temporary.c_str());
      return;
    }
    error = errno;
  }
  throw QuorrelError("Не могу записать " + finalPath + ": " +
                     (error == EEXIST ? std::string("такой файл уже есть") : ioErrorText(error)));
}

// Replaces a file whole: a reader sees the old one or the new one, never a part.
void replaceFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = writeTemporary(path, bytes);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw QuorrelError("Не могу записать " + path + ": " + ioErrorText(error));
  }
}

void makeFolder(const std::string& path) {
  if (!directoryExists(path) && !createDirectory(path)) throw QuorrelError("Не могу создать папку " + path);
}

// What an add has put on the disk so far; taken away again unless the add is kept.
class Placed {
 public:
  ~Placed() {
    if (kept_) return;
    for (const std::string& p : files_) ::unlink(p.c_str());
  }
  void add(const std::string& path) { files_.push_back(path); }
  void keep() { kept_ = true; }

 private:
  std::vector<std::string> files_;
  bool kept_ = false;
};

// ---- The own catalogue ------------------------------------------------------------------------------------

std::string ownPath(const std::string& workDir) { return workDir + OwnCatalogueFileName; }

// The games of Mygames.xml as it stands (none when there is no such file), in file order, UTF-8.
std::vector<CatalogueGame> readOwnGames(const std::string& workDir) {
  const std::string path = ownPath(workDir);
  std::error_code ec;
  if (fs::symlink_status(path, ec).type() == fs::file_type::not_found) return {};
  auto folders = std::make_unique<FolderTable>();
  auto games = std::make_unique<GameTable>();
  const std::string outline = workDir + "mygames.check.tmp";
  CatalogueLoad load;
  try {
    load = loadCatalogueFile(path, outline, *folders, *games);
  } catch (const std::exception& e) {
    throw QuorrelError(std::string(OwnCatalogueFileName) + " не читается: " + e.what());
  }
  std::remove(outline.c_str());
  // Only a list of games below the one root is written back; anything more made by hand would be lost.
  if (load.folderCount > 1 || load.foldersLeftOut > 0 || load.gamesLeftOut > 0)
    throw QuorrelError(std::string(OwnCatalogueFileName) +
                       " содержит папки или больше игр, чем помещается в таблицы; Quorrel его не переписывает.");
  std::vector<CatalogueGame> list;
  for (int i = 1; i <= load.gameCount; ++i) {
    const GameEntry& g = (*games)[static_cast<std::size_t>(i)];
    list.push_back(
        CatalogueGame{utf8(g.name), utf8(g.size), utf8(g.file), utf8(g.screen), utf8(g.owner), utf8(g.description)});
  }
  return list;
}

std::string ownCatalogueBytes(const std::vector<CatalogueGame>& games, const Catalogue& catalogue,
                              const std::string& workDir) {
  CatalogueModel model;
  model.name = ownRootName();
  model.desc = "Игры, которые вы добавили сами. Обновление базы их не меняет.";
  model.pic = RootPicture;
  model.pictureHeight = catalogue.pictureHeight();
  model.games = games;
  const WrittenCatalogue written = writeCatalogue(model, workDir);
  if (!written.refused.empty()) throw QuorrelError(joined(written.refused));
  return written.bytes;
}

// Lower-case names of the entries of a folder (none when it cannot be read).
std::set<std::string> namesIn(const std::string& dir, bool stems) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.insert(lower(stems ? it->path().stem().string() : it->path().filename().string()));
  return names;
}

std::string uniqueName(const std::string& stem, const std::string& extension, std::set<std::string>& taken) {
  std::string name = stem + extension;
  for (int n = 2; !taken.insert(lower(name)).second; ++n) name = stem + "_" + std::to_string(n) + extension;
  return name;
}

// The picture of a suite as a GIF: a picture beside its .jar, else its icon; empty when it has neither (or
// neither can be read).
std::string screenshotOf(const FoundSuite& s, int height) {
  std::string bytes;
  const std::string beside = pictureBeside((fs::path(s.jarPath).parent_path() / s.base).string());
  if (beside.empty() || !readWholeFile(beside, MaxPictureBytes, bytes)) bytes = s.jar.icon;
  if (bytes.empty()) return {};
  if (isGif(bytes)) return bytes;
  std::string gif, error;
  return pictureAsGif(bytes, height, gif, error) ? gif : std::string();
}

}  // namespace

const std::string& ownRootName() {
  static const std::string name = "Мои игры";
  return name;
}

AddPlan planOwnGames(const std::vector<std::string>& paths,
                     const std::function<void(std::size_t, std::size_t)>& progress) {
  AddPlan plan;
  std::vector<FoundSuite> found;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (st.type() == fs::file_type::directory) {
      try {
        GameFolder folder = scanGameFolder(path);
        for (FoundSuite& s : folder.suites) found.push_back(std::move(s));
        plan.refused.insert(plan.refused.end(), folder.strays.begin(), folder.strays.end());
        if (folder.suites.empty() && folder.strays.empty()) plan.refused.push_back(path + ": в папке нет игр.");
      } catch (const std::exception& e) {
        plan.refused.push_back(e.what());
      }
    } else if (st.type() != fs::file_type::regular) {
      plan.refused.push_back(path +
                             (st.type() == fs::file_type::not_found ? ": файл не найден." : ": не файл и не папка."));
    } else if (lowerExtension(path) == ".jar") {
      found.push_back(readSuite(path, descriptorOfJar(path)));
    } else if (lowerExtension(path) == ".jad") {
      const std::string jar = jarOfDescriptor(path);
      if (jar.empty())
        plan.refused.push_back("Описатель " + path + ": рядом нет его архива.");
      else
        found.push_back(readSuite(jar, path));
    } else {
      plan.refused.push_back(path + ": это не игра Java (.jar или .jad).");
    }
    if (progress) progress(i + 1, paths.size());
  }
  std::set<std::string> seen;
  for (FoundSuite& s : found) {
    std::error_code ec;
    if (!seen.insert(fs::weakly_canonical(s.jarPath, ec).string()).second) continue;
    if (!s.left.empty()) {
      plan.refused.push_back(s.jarPath + ": " + joined(s.left));
      continue;
    }
    if (!s.problems.empty())
      plan.mended.push_back(s.jarPath + ": описатель будет исправлен (" + joined(s.problems) + ")");
    plan.suites.push_back(std::move(s));
  }
  return plan;
}

std::vector<std::string> addOwnGames(const AddPlan& plan, const Catalogue& catalogue, const std::string& workDir) {
  std::vector<CatalogueGame> games = readOwnGames(workDir);

  const int freeGames = GameCapacity - catalogue.serverGameCount() - static_cast<int>(games.size());
  if (catalogue.serverFolderCount() >= FolderCapacity)
    throw QuorrelError("В каталоге нет места для папки «" + ownRootName() + "»: в таблицах до " +
                       std::to_string(FolderCapacity) + " папок, и все заняты.");
  if (static_cast<int>(plan.suites.size()) > freeGames)
    throw QuorrelError("В каталоге нет места для " + std::to_string(plan.suites.size()) + " игр: в таблицах до " +
                       std::to_string(GameCapacity) + " игр, свободно " + std::to_string(std::max(freeGames, 0)) +
                       ". Ничего не добавлено.");

  const std::string gamesDir = workDir + workfolder::Games;
  const std::string screenDir = workDir + workfolder::Screenshots;
  makeFolder(workDir + workfolder::Base);
  makeFolder(gamesDir);
  makeFolder(screenDir);
  makeFolder(workDir + workfolder::FolderPictures);

  // Names no file on the disk and no game of either catalogue has, whether its files are here yet or not.
  std::set<std::string> takenFiles = namesIn(gamesDir, true);
  std::set<std::string> takenScreens = namesIn(screenDir, false);
  for (int i = 1; i <= std::min(catalogue.gameCount(), GameCapacity); ++i) {
    takenFiles.insert(lower(diskName(catalogue.game(i).file)));
    takenScreens.insert(lower(diskName(catalogue.game(i).screen)));
  }
  for (const CatalogueGame& g : games) {
    takenFiles.insert(lower(g.file));
    takenScreens.insert(lower(g.screen));
  }
  std::vector<std::string> wanted;
  for (const FoundSuite& s : plan.suites) wanted.push_back(s.base);
  const std::vector<std::string> files = safeFileNames(wanted, takenFiles);
  const bool haveNoScreenshot = fileExists(screenDir + "noscr.gif");

  Placed placed;
  std::vector<std::string> added;
  for (std::size_t i = 0; i < plan.suites.size(); ++i) {
    const FoundSuite& s = plan.suites[i];
    const std::string& file = files[i];
    Attributes descriptor = s.fixed;
    // The pair is named File_suite.jad and File_suite.jar on the phone; the descriptor names the archive there.
    descriptor.set("MIDlet-Jar-URL", file + "_suite.jar");

    CatalogueGame g;
    g.name = *descriptor.find("MIDlet-Name");
    g.size = std::to_string(s.jar.size);
    g.file = file;
    if (const std::string* v = descriptor.find("MIDlet-Vendor")) g.owner = *v;
    if (const std::string* d = descriptor.find("MIDlet-Description"))
      g.desc = *d;
    else if (const std::string* m = s.jar.manifest.find("MIDlet-Description"))
      g.desc = *m;

    std::string shot = screenshotOf(s, catalogue.pictureHeight());
    if (shot.empty() && !haveNoScreenshot) shot = placeholderGif(Placeholder::NoScreenshot, catalogue.pictureHeight());
    if (shot.empty()) {
      g.screen = "noscr.gif";
    } else {
      g.screen = uniqueName(file, ".gif", takenScreens);
      const std::string temporary = writeTemporary(screenDir + g.screen, shot);
      placed.add(temporary);
      placeNew(temporary, screenDir + g.screen);
      placed.add(screenDir + g.screen);
    }
    const std::string jad = writeTemporary(gamesDir + file + ".jad", writeDescriptor(descriptor));
    placed.add(jad);
    const std::string jar = writeTemporary(gamesDir + file + ".jar", {}, s.jarPath);
    placed.add(jar);
    placeNew(jad, gamesDir + file + ".jad");
    placed.add(gamesDir + file + ".jad");
    placeNew(jar, gamesDir + file + ".jar");
    placed.add(gamesDir + file + ".jar");
    added.push_back(g.name);
    games.push_back(std::move(g));
  }

  const std::string rootPicture = workDir + workfolder::FolderPictures + RootPicture + ".gif";
  if (!fileExists(rootPicture)) {
    const std::string temporary =
        writeTemporary(rootPicture, placeholderGif(Placeholder::Folder, catalogue.pictureHeight()));
    placed.add(temporary);
    placeNew(temporary, rootPicture);
    placed.add(rootPicture);
  }
  replaceFile(ownPath(workDir), ownCatalogueBytes(games, catalogue, workDir));
  placed.keep();
  return added;
}

void removeOwnGame(const Catalogue& catalogue, int index, const std::string& workDir) {
  if (!catalogue.isOwnGame(index)) throw QuorrelError("Эта игра не из «" + ownRootName() + "».");
  const GameEntry& entry = catalogue.game(index);
  std::vector<CatalogueGame> games = readOwnGames(workDir);
  // The own entries follow the main catalogue's in the order of the file.
  const std::size_t at = static_cast<std::size_t>(index - catalogue.serverGameCount() - 1);
  if (at >= games.size() || games[at].file != utf8(entry.file) || games[at].name != utf8(entry.name))
    throw QuorrelError(std::string(OwnCatalogueFileName) +
                       " изменился после загрузки каталога. Ничего не удалено; обновите вид каталога.");
  const CatalogueGame gone = games[at];
  games.erase(games.begin() + static_cast<std::ptrdiff_t>(at));

  if (games.empty()) {
    if (std::remove(ownPath(workDir).c_str()) != 0)
      throw QuorrelError("Не могу удалить " + ownPath(workDir) + ": " + ioErrorText(errno));
  } else {
    replaceFile(ownPath(workDir), ownCatalogueBytes(games, catalogue, workDir));
  }

  // The files go only when no other game names them.
  bool fileShared = false;
  bool screenShared = gone.screen == "noscr.gif";
  for (int i = 1; i <= std::min(catalogue.gameCount(), GameCapacity); ++i) {
    if (i == index) continue;
    fileShared = fileShared || lower(utf8(catalogue.game(i).file)) == lower(gone.file);
    screenShared = screenShared || lower(utf8(catalogue.game(i).screen)) == lower(gone.screen);
  }
  if (!fileShared && ownFileName(gone.file)) {
    std::remove((workDir + workfolder::Games + gone.file + ".jad").c_str());
    std::remove((workDir + workfolder::Games + gone.file + ".jar").c_str());
  }
  if (!screenShared && ownFileName(gone.screen)) std::remove((workDir + workfolder::Screenshots + gone.screen).c_str());
}

// ---- The window's commands --------------------------------------------------------------------------------

namespace {

QString text(const std::string& utf8Text) { return QString::fromStdString(utf8Text); }

QString listed(const std::vector<std::string>& lines) {
  QString out;
  for (const std::string& l : lines) out += QStringLiteral("\n– ") + text(l);
  return out;
}

}  // namespace

OwnGamesCommands::OwnGamesCommands(Catalogue& catalogue, Prompter& prompter, MessageLog& log, CommandState& commands,
                                   std::function<void()> reloadCatalogue)
    : catalogue_(catalogue), prompter_(prompter), log_(log), commands_(commands), reload_(std::move(reloadCatalogue)) {}

void OwnGamesCommands::add(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (commands_.busy()) {
    prompter_.error(
        QStringLiteral("Игры можно добавить, когда закончится текущая работа (обновление, "
                       "скачивание или закачка в телефон)."));
    return;
  }
  const CommandScope running(commands_, CommandHold::Commands);
  const AddPlan plan = planOwnGames(paths);
  if (plan.suites.empty()) {
    prompter_.error(plan.refused.empty() ? QStringLiteral("Среди выбранного нет игр Java (.jar, .jad).")
                                         : QStringLiteral("Ни одна игра не добавлена:") + listed(plan.refused));
    return;
  }
  if (!plan.refused.empty() || !plan.mended.empty()) {
    QString question = QStringLiteral("Будут добавлены в «Мои игры» игры: %1.").arg(plan.suites.size());
    if (!plan.refused.empty()) question += QStringLiteral("\n\nНе будут добавлены:") + listed(plan.refused);
    if (!plan.mended.empty()) question += QStringLiteral("\n\nБудут исправлены:") + listed(plan.mended);
    question += QStringLiteral("\n\nДобавить?");
    MessageRequest request{appTitle(), question, MsgIcon::Question, {MsgButton::Yes, MsgButton::No}, 0};
    if (prompter_.ask(request) != MsgButton::Yes) return;
  }
  const std::vector<std::string> added = addOwnGames(plan, catalogue_, currentDir());
  for (const std::string& name : added)
    log_.logCommand(QStringLiteral(" Игра «%1» добавлена в «Мои игры».").arg(text(name)));
  reload_();
  prompter_.message(QStringLiteral("В «Мои игры» добавлено игр: %1.").arg(added.size()));
}

void OwnGamesCommands::remove(int index) {
  if (commands_.busy() || !catalogue_.isOwnGame(index)) return;
  const QString name = fromAnsi(catalogue_.game(index).name);
  MessageRequest request{
      appTitle(),
      QStringLiteral("Удалить игру «%1» из моих игр?\nЕё файлы будут удалены из Base/games.").arg(name),
      MsgIcon::Question,
      {MsgButton::Yes, MsgButton::No},
      1};
  if (prompter_.ask(request) != MsgButton::Yes) return;
  const CommandScope running(commands_, CommandHold::Commands);
  removeOwnGame(catalogue_, index, currentDir());
  log_.logCommand(QStringLiteral(" Игра «%1» удалена из «Мои игры».").arg(name));
  reload_();
}

}  // namespace quorrel::suites
