// The catalogue update: the archive "Javadata.zip" with the new catalogue, unpacked over the old one, then the
// news, the folder pictures, the screenshots and the game files as the settings ask. Every file goes through
// Downloads::downloadFromServer, so the window stays live and shows each transfer's progress.
#include "net/CatalogueUpdate.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "catalogue/Catalogue.h"
#include "common/Ansi.h"
#include "common/CommandState.h"
#include "common/Errors.h"
#include "common/MessageLog.h"
#include "common/PaintTurns.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/ShownText.h"
#include "common/WorkingFolder.h"
#include "net/DirList.h"
#include "net/ZipExtractor.h"
#include "settings/Settings.h"

namespace quorrel {

namespace {

// The three catalogue files in the working folder.
struct CatalogueFiles {
  std::string archive;  // Javadata.zip
  std::string current;  // Javadata.xml
  std::string backup;   // Javadata.tmp
};

CatalogueFiles catalogueFiles() {
  const std::string dir = currentDir();
  return {dir + "Javadata.zip", dir + "Javadata.xml", dir + "Javadata.tmp"};
}

// Removes a file or a link, never a folder: the update's own files are all files, and a folder under one of
// their names is the user's.
void removeFile(const std::string& path) { ::unlink(path.c_str()); }

// Moves the catalogue aside as the backup. A backup left by an earlier run is dropped first when a catalogue
// stands beside it, since that catalogue is the newer one; without a catalogue the old backup is the only copy
// and stays. Afterwards no "Javadata.xml" exists, so only the new archive can bring one back.
void backUpCatalogue(const CatalogueFiles& f) {
  if (!fileExists(f.current)) return;
  removeFile(f.backup);
  if (std::rename(f.current.c_str(), f.backup.c_str()) != 0) {
    // The catalogue stays where it is, and the update stops before it could be mistaken for a new one.
    throw QuorrelError("Не могу сохранить прежнюю базу Javadata.xml в Javadata.tmp: " + ioErrorText(errno));
  }
}

bool somethingAt(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Puts the backup, when there is one, back as the catalogue. What this update placed under the catalogue's name
// (a folder an archive made, a catalogue of an archive that failed to unpack) goes first. Anything else standing
// there is the user's and stays; it then keeps the backup from its place, which is an error, so that the backup
// is not left unnoticed.
void restoreCatalogue(const CatalogueFiles& f, bool placedCatalogue) {
  if (placedCatalogue) {
    std::error_code ignored;
    std::filesystem::remove_all(f.current, ignored);  // a link is removed itself, never followed
  }
  if (!fileExists(f.backup)) return;
  const int error = std::rename(f.backup.c_str(), f.current.c_str()) == 0 ? 0 : errno;
  if (!fileExists(f.current)) {
    throw QuorrelError("Не могу вернуть прежнюю базу Javadata.tmp на место Javadata.xml: " +
                       ioErrorText(error != 0 ? error : EISDIR));
  }
}

std::string lowered(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The running program's own file name, in lower case.
std::string programName() {
  std::vector<char> buf(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "quorrel";
  const std::string exe(buf.data(), static_cast<size_t>(n));
  return lowered(exe.substr(exe.rfind('/') + 1));
}

// The update never writes a file that the program loads or runs, nor the settings or the catalogue's backup:
// a server could otherwise plant code, or redirect the next update and the proxy. Compared case-insensitively.
bool forbiddenName(const std::string& name) {
  const std::string lower = lowered(name);
  const auto endsWith = [&](const std::string& tail) {
    return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
  };
  return endsWith(".wfx") || endsWith(".dll") || endsWith(".so") || lower.find(".so.") != std::string::npos ||
         lower == "quorrel.ini" || lower == "javadata.tmp" || lower == programName() || lower == "quorrel";
}

// The unpacking goes into a fresh folder of its own inside the working folder ("Javadata.unz<pid>-XXXXXX"),
// whatever the unzip library writes stays there, and only what passes the checks below is moved into the
// working folder afterwards. The folder goes when the object does, with anything left in it: after an error
// nothing the archive gave stays on the disk. The process's current directory, which the zip component
// changes to its destination, is restored as well.
class StagingFolder {
 public:
  StagingFolder() : work_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    std::string templ = currentDir() + "Javadata.unz" + std::to_string(::getpid()) + "-XXXXXX";
    if (work_ < 0 || !::mkdtemp(templ.data())) {
      const int error = errno;
      if (work_ >= 0) ::close(work_);
      throw QuorrelError("Не могу создать папку для распаковки Javadata.zip: " + ioErrorText(error));
    }
    path_ = templ + "/";
  }
  ~StagingFolder() {
    backToWork();
    ::close(work_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const std::string& path() const { return path_; }
  void backToWork() const {
    if (::fchdir(work_) != 0) std::perror("Quorrel: back to the working folder");
  }

 private:
  int work_;
  std::string path_;
};

// Paths of the members that the archive itself records as symbolic links (by a Unix host): they are never
// placed, whatever an unzip library made of them.
std::set<std::string> linkMembers(const ZipExtractor& zip) {
  std::set<std::string> links;
  for (const ZipEntry& entry : zip.entries) {
    const int host = entry.header.versionMadeBy >> 8;
    if (host == 3 && ((entry.header.externalAttributes >> 16) & S_IFMT) == S_IFLNK) {
      std::string name = nativePath(entry.memberName);
      while (name.size() > 1 && name.back() == '/') name.pop_back();
      links.insert(name);
    }
  }
  return links;
}

// Moves what the unpacking left in the staging folder into the working folder: folders are merged, a file
// replaces an existing one only when that one is older (as the unpacking's own option says), and every file
// gets ordinary permissions. Forbidden names, links and anything else that is neither a file nor a folder
// stay behind, each with a log line. Whether it put something under the catalogue's name is noted in
// `placedCatalogue`, so that a failed update takes away that, and only that.
class Placement {
 public:
  Placement(MessageLog& log, const std::string& staging, std::set<std::string> links, bool& placedCatalogue)
      : log_(log), staging_(staging), work_(currentDir()), links_(std::move(links)), placedCatalogue_(placedCatalogue) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = 0644 & ~mask;
  }

  void folder(const std::string& relative) {
    DIR* dir = ::opendir((staging_ + relative).c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) entry(relative + name);
  }

 private:
  void entry(const std::string& relative) {
    keepPainting_();
    const std::string from = staging_ + relative;
    const std::string to = work_ + relative;
    const std::string name = relative.substr(relative.rfind('/') + 1);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return;
    if (forbiddenName(name)) return skipped(relative, "обновление не записывает программы, библиотеки и настройки");
    if (lowered(relative) == lowered(OwnCatalogueFileName))
      return skipped(relative, "это каталог ваших собственных игр, обновление его не заменяет");
    if (links_.count(relative) != 0) return;  // reported with the archive's listing
    // A line break in a name would let the log line that names the file pass for more than one line.
    if (holdsControlBytes(name)) return skipped(relative, "в имени есть управляющие символы");
    if (S_ISLNK(st.st_mode)) return skipped(relative, "это ссылка");
    if (S_ISDIR(st.st_mode)) {
      // An existing folder is merged into also when the user made it a link to another disk.
      if (!directoryExists(to)) {
        if (::mkdir(to.c_str(), 0777) != 0) return skipped(relative, ioErrorText(errno));
        placed(relative);
      }
      folder(relative + "/");
      // Emptied as it is merged: tens of thousands of folders left for the staging folder's removal would
      // hold the window there.
      ::rmdir(from.c_str());
      return;
    }
    if (!S_ISREG(st.st_mode)) return skipped(relative, "это не файл");
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0) {
      if (S_ISDIR(existing.st_mode)) return skipped(relative, "на его месте папка");
      if (S_ISREG(existing.st_mode) && existing.st_mtime >= st.st_mtime) return;  // the copy on disk is newer
    }
    if (::chmod(from.c_str(), mode_) != 0 || std::rename(from.c_str(), to.c_str()) != 0)
      return skipped(relative, ioErrorText(errno));
    placed(relative);
  }

  void placed(const std::string& relative) {
    if (relative == "Javadata.xml") placedCatalogue_ = true;
  }

  void skipped(const std::string& relative, const std::string& why) {
    log_.logCommand(QStringLiteral(" Файл %1 из Javadata.zip не записан: %2")
                        .arg(QString::fromStdString(relative), QString::fromStdString(why)));
  }

  MessageLog& log_;
  const std::string staging_;
  const std::string work_;
  const std::set<std::string> links_;
  bool& placedCatalogue_;
  mode_t mode_ = 0644;
  // An archive of tens of thousands of members takes seconds to place: the window paints meanwhile.
  PaintTurns keepPainting_;
};

enum class Unpacked { NewCatalogue, NoCatalogue, Cancelled };

// What the unpacking works with.
struct UnpackContext {
  ZipExtractor& zip;
  MessageLog& log;
  CommandState& commands;
};

// Unpacks the fetched archive and places its files in the working folder. A new catalogue then replaces the
// backup; otherwise the backup is back in place. An error of the unpacking (an archive that is damaged, cut
// short, no archive at all or one that unpacks to too much, a missing unzip library) also restores the
// backup before it goes on, and so does a cancelled unpacking; nothing of the archive is placed then.
Unpacked unpackCatalogue(const UnpackContext& c, const CatalogueFiles& f, const std::function<bool()>& closed) {
  ZipExtractor& zip = c.zip;
  struct Reset {
    ZipExtractor& zip;
    ~Reset() { zip.cancelRequested = nullptr; }
  } reset{zip};
  bool placedCatalogue = false;
  try {
    // The unzip library works on the main thread, and its progress reports run the event loop, so that the
    // window paints and notices a close: a command chosen meanwhile must not start, nor another game be shown,
    // also when a failed transfer gave them back before.
    const CommandScope unpacking(c.commands, CommandHold::CommandsAndCatalogue);
    StagingFolder staging;
    zip.setZipFileName(f.archive);
    zip.extractDir = staging.path();
    zip.extractOptions = ZipExtractor::UpdateOlder;
    zip.cancelRequested = closed;
    zip.extract();
    staging.backToWork();
    if (zip.cancelled) {
      removeFile(f.archive);
      restoreCatalogue(f, false);
      // Cancelled by the user's answer (a password question) rather than by a closed window.
      if (!closed()) c.log.logCommand(QStringLiteral(" Распаковка Javadata.zip отменена: база не обновлена."));
      return Unpacked::Cancelled;
    }
    const std::set<std::string> links = linkMembers(zip);
    for (const std::string& link : links)
      c.log.logCommand(
          QStringLiteral(" Файл %1 из Javadata.zip не записан: это ссылка").arg(QString::fromStdString(link)));
    Placement(c.log, staging.path(), links, placedCatalogue).folder("");
  } catch (...) {
    removeFile(f.archive);
    restoreCatalogue(f, placedCatalogue);  // a catalogue from a broken archive is not trusted
    throw;
  }
  removeFile(f.archive);
  if (placedCatalogue && fileExists(f.current)) {
    removeFile(f.backup);
    return Unpacked::NewCatalogue;
  }
  restoreCatalogue(f, placedCatalogue);
  return Unpacked::NoCatalogue;
}

}  // namespace

// One run of the update. When the user closes the window meanwhile, the application is ending: the transfer
// under way is cancelled, and the run fetches nothing more and shows no message, so that no hidden window
// goes on downloading.
class UpdateRun {
 public:
  explicit UpdateRun(CatalogueUpdate& update) : update_(update), shown_(update.view_.windowShown()) {}

  void run() {
    const CatalogueFiles files = catalogueFiles();
    // The update moves the catalogue aside and puts the archive's in its place. A folder, or anything else
    // that is not a file, under the catalogue's name is the user's: the update would have to remove it, so it
    // does not start.
    if (somethingAt(files.current) && !fileExists(files.current)) {
      throw QuorrelError("Не могу обновить базу: " + files.current +
                         " не является файлом, и обновление не может его заменить.");
    }
    // An archive left by an interrupted run must not pass for this update's: with the server down it would
    // be unpacked and reported as a success, and one of the same size would not even be fetched again.
    removeFile(files.archive);
    const std::size_t refusedBefore = update_.downloads_.refused().size();
    // Why no catalogue could come, for the log line before "Сервер не найден!".
    std::string notFound = "архив Javadata.zip не получен";
    if (fetch("Javadata.zip") == DownloadResult::Failed) {
      const std::string& why = update_.downloads_.lastFailure();
      if (!why.empty()) notFound += ": " + why;
    } else {
      notFound = "в архиве Javadata.zip нет базы Javadata.xml";
    }
    if (windowClosed()) {
      removeFile(files.archive);
      return;
    }
    backUpCatalogue(files);
    const UnpackContext context{*update_.zip_, update_.log_, update_.commands_};
    const Unpacked unpacked = unpackCatalogue(context, files, [this] { return windowClosed(); });
    if (unpacked == Unpacked::Cancelled) return;
    if (unpacked == Unpacked::NoCatalogue) {
      update_.log_.logCommand(QStringLiteral(" Сервер не найден: ") + QString::fromStdString(notFound));
      update_.prompter_.message(QStringLiteral("Сервер не найден!"));
      return;
    }

    update_.view_.catalogueArrived();
    fetch(workfolder::News);
    if (update_.settings_.updateFolderPictures()) fetchFolderPictures();
    const UpdateMode mode = update_.settings_.updateMode();
    if (mode == UpdateMode::WithScreenshots || mode == UpdateMode::WholeBase) {
      forEachGame([this](const GameEntry& game) { fetchIn(workfolder::Screenshots, game.screen); });
    }
    if (mode == UpdateMode::WholeBase) {
      forEachGame([this](const GameEntry& game) {
        fetchIn(workfolder::Games, game.file + ".jad");
        fetchIn(workfolder::Games, game.file + ".jar");
      });
    }
    if (windowClosed()) return;
    // An answer refused on the way (an encoding never offered, a body longer than announced, a file too large
    // for its kind or for the disk) is no success: the update says so instead.
    const auto& refused = update_.downloads_.refused();
    if (refused.size() > refusedBefore) {
      const RefusedDownload& first = refused[refusedBefore];
      update_.prompter_.error(QStringLiteral("База данных обновлена не полностью: не приняты ответы сервера (%1), "
                                             "первый на запрос %2: %3.")
                                  .arg(refused.size() - refusedBefore)
                                  .arg(fromAnsi(first.path), QString::fromStdString(first.reason)));
      return;
    }
    update_.prompter_.message(QStringLiteral("База данных успешно обновлена!"));
  }

 private:
  bool windowClosed() const { return shown_ && !update_.view_.windowShown(); }

  DownloadResult fetch(const std::string& path) {
    if (windowClosed()) return DownloadResult::Failed;
    return update_.downloads_.downloadFromServer(path);
  }

  void fetchIn(const std::string& folder, const std::string& name) {
    if (!windowClosed()) update_.downloads_.downloadInFolder(folder, name);
  }

  // Each name of the list is fetched as it is read. A name that no picture's file could have is not asked of
  // the server: one log line says why. A huge list is read while the window keeps painting.
  void fetchFolderPictures() {
    fetch(workfolder::FolderPictureList);
    if (windowClosed()) return;
    const std::string list = currentDir() + workfolder::FolderPictureList;
    PaintTurns keepPainting;
    readDirList(
        list, MaxPictureFileName,
        [&](const std::string& name, bool cut) {
          if (windowClosed()) return false;
          const std::string fault = pictureNameFault(name, cut);
          if (fault.empty()) {
            fetch(workfolder::FolderPictures + name + ".gif");
          } else {
            update_.log_.logCommand(
                QStringLiteral(" Картинка %1%2%3.gif не запрошена: %4")
                    .arg(QString::fromLatin1(workfolder::FolderPictures), fromAnsi(name),
                         cut ? QStringLiteral("…") : QString(), QString::fromStdString(fault)));
          }
          keepPainting();
          return true;
        },
        [&keepPainting] { keepPainting(); });
    std::remove(list.c_str());
  }

  // Entries 1 to gameCount of the catalogue just loaded; repeated names are asked for again, and the size
  // check of the download then skips them. The user's own games, loaded after them, are no server's to send.
  template <typename Fetch>
  void forEachGame(Fetch fetchGame) {
    for (int i = 1; i <= std::min(update_.catalogue_.serverGameCount(), GameCapacity) && !windowClosed(); ++i) {
      const GameEntry game = update_.catalogue_.game(i);
      fetchGame(game);
    }
  }

  CatalogueUpdate& update_;
  const bool shown_;
};

CatalogueUpdate::CatalogueUpdate(QObject* owner, Downloads& downloads, const Catalogue& catalogue,
                                 const Settings& settings, Prompter& prompter, MessageLog& log,
                                 CommandState& commands, UpdateView& view)
    : downloads_(downloads),
      catalogue_(catalogue),
      settings_(settings),
      prompter_(prompter),
      log_(log),
      commands_(commands),
      view_(view),
      zip_(new ZipExtractor(owner, &prompter)) {
  zip_->setObjectName(QStringLiteral("zipExtractor"));
  zip_->showProgressDialog = false;
}

// The end of every update, also of one refused or stopped by an error: the answers to the changed-size
// question are forgotten and the progress line is cleared.
void CatalogueUpdate::endUpdate() {
  downloads_.answers() = ChangedFileAnswers();
  view_.resetProgress(true);
  view_.clearTransferLine();
}

void CatalogueUpdate::updateCatalogue() {
  downloads_.answers() = ChangedFileAnswers();
  // A failed transfer gives the other commands back during an update, but never a second update.
  if (!commands_.busy() && !commands_.updateRunning()) {
    try {
      const CommandScope running(commands_, CommandHold::Update);
      UpdateRun(*this).run();
    } catch (...) {
      endUpdate();
      throw;
    }
  }
  endUpdate();
}

namespace {

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// True when no process with this id runs any more, so that what it left is no longer in use.
bool processGone(const std::string& pid) {
  if (!allDigits(pid) || pid.size() > 9) return false;
  return ::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH;
}

// Our own temporary names, and only these: a download's "<name>.part<pid>-<n>" of a process that is gone, the
// unzip library's "<name>.unz" followed by six characters, and the update's staging folder
// "Javadata.unz<pid>-XXXXXX" of a process that is gone.
bool leftoverName(const std::string& name, bool workFolder) {
  const auto part = name.rfind(".part");
  if (part != std::string::npos && part > 0) {
    const std::string tail = name.substr(part + 5);
    const auto dash = tail.find('-');
    if (dash != std::string::npos && allDigits(tail.substr(dash + 1)) && processGone(tail.substr(0, dash))) return true;
  }
  const std::string staging = "Javadata.unz";
  if (workFolder && name.compare(0, staging.size(), staging) == 0) {
    const std::string tail = name.substr(staging.size());
    const auto dash = tail.find('-');
    if (dash != std::string::npos && tail.size() - dash - 1 == 6 && processGone(tail.substr(0, dash))) return true;
  }
  const auto unz = name.rfind(".unz");
  return unz != std::string::npos && unz > 0 && name.size() - unz - 4 == 6 &&
         name.compare(0, staging.size(), staging) != 0;
}

void removeLeftovers(const std::string& folder, bool workFolder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
  ::closedir(dir);
  for (const std::string& name : names) {
    if (name == "." || name == ".." || !leftoverName(name, workFolder)) continue;
    std::error_code ignored;
    std::filesystem::remove_all(folder + name, ignored);  // a link is removed itself, never followed
  }
}

}  // namespace

void recoverInterruptedUpdate(MessageLog& log) {
  const CatalogueFiles files = catalogueFiles();
  if (!somethingAt(files.current) && fileExists(files.backup)) {
    if (std::rename(files.backup.c_str(), files.current.c_str()) == 0)
      log.logCommand(
          QStringLiteral(" База Javadata.xml восстановлена из Javadata.tmp, оставшейся от прерванного обновления"));
  }
  const std::string dir = currentDir();
  removeLeftovers(dir, true);
  for (const char* folder : {workfolder::Base, workfolder::Games, workfolder::Screenshots, workfolder::FolderPictures})
    removeLeftovers(dir + folder, false);
}

}  // namespace quorrel
