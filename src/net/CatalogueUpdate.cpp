// The catalogue update: the archive "Javadata.zip" with the new catalogue, unpacked over the old one, then the
// news, the folder pictures, the screenshots and the game files as the settings ask. Every file goes through
// downloadFromServer, so the window stays live and shows each transfer's progress.
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>

#include "app/MainWindow.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "net/DirList.h"
#include "net/ZipExtractor.h"

namespace {

// Marks a window whose update is running. busy alone cannot keep a second update out: the first failed
// transfer clears it, and an update started then would take the running one's backup for a stale file.
class RunningUpdate {
 public:
  explicit RunningUpdate(const MainWindow* form) : form_(form) { forms().insert(form); }
  ~RunningUpdate() { forms().erase(form_); }
  RunningUpdate(const RunningUpdate&) = delete;
  RunningUpdate& operator=(const RunningUpdate&) = delete;
  static bool in(const MainWindow* form) { return forms().count(form) != 0; }

 private:
  static std::set<const MainWindow*>& forms() {
    static std::set<const MainWindow*> running;
    return running;
  }
  const MainWindow* form_;
};

// The three catalogue files in the working folder.
struct CatalogueFiles {
  std::string archive;  // Javadata.zip
  std::string current;  // Javadata.xml
  std::string backup;   // Javadata.tmp
};

CatalogueFiles catalogueFiles() {
  const std::string dir = quorrel::currentDir();
  return {dir + "Javadata.zip", dir + "Javadata.xml", dir + "Javadata.tmp"};
}

// Moves the catalogue aside as the backup. A backup left by an earlier run is dropped first when a catalogue
// stands beside it, since that catalogue is the newer one; without a catalogue the old backup is the only copy
// and stays. Afterwards no "Javadata.xml" exists, so only the new archive can bring one back.
void backUpCatalogue(const CatalogueFiles& f) {
  if (!quorrel::fileExists(f.current)) return;
  std::remove(f.backup.c_str());
  if (std::rename(f.current.c_str(), f.backup.c_str()) != 0) {
    // The catalogue stays where it is, and the update stops before it could be mistaken for a new one.
    throw quorrel::QuorrelError("Не могу сохранить прежнюю базу Javadata.xml в Javadata.tmp: " +
                                quorrel::ioErrorText(errno));
  }
}

// Puts the backup, when there is one, back as the catalogue.
void restoreCatalogue(const CatalogueFiles& f) { std::rename(f.backup.c_str(), f.current.c_str()); }

// Unpacks the fetched archive into the working folder. True when it gave a new catalogue, which then
// replaces the backup; otherwise the backup is back in place. An error of the unpacking (an archive that is
// damaged, cut short or no archive at all, a missing unzip library) also restores the backup before it goes on.
bool unpackCatalogue(ZipExtractor& zip, const CatalogueFiles& f) {
  try {
    zip.setZipFileName(f.archive);
    zip.ExtractDir = quorrel::currentDir();
    zip.ExtractOptions = ZipExtractor::ExtractOption0;
    zip.Extract();
  } catch (...) {
    std::remove(f.archive.c_str());
    std::remove(f.current.c_str());  // a catalogue from a broken archive is not trusted
    restoreCatalogue(f);
    throw;
  }
  std::remove(f.archive.c_str());
  if (quorrel::fileExists(f.current)) {
    std::remove(f.backup.c_str());
    return true;
  }
  restoreCatalogue(f);
  return false;
}

// One run of the update. When the user closes the window meanwhile, the application is ending: the transfer
// under way is cancelled, and the run fetches nothing more and shows no message, so that no hidden window
// goes on downloading.
class CatalogueUpdate {
 public:
  explicit CatalogueUpdate(MainWindow& form) : form_(form), shown_(form.isVisible()) {}

  void run() {
    fetch("Javadata.zip");
    const CatalogueFiles files = catalogueFiles();
    if (windowClosed()) {
      std::remove(files.archive.c_str());
      return;
    }
    backUpCatalogue(files);
    if (!unpackCatalogue(*form_.zipExtractor, files)) {
      form_.prompter().message(QStringLiteral("Сервер не найден!"));
      return;
    }

    form_.loadCatalogue();
    fetch("Base/news.new");
    if (form_.updateFolderPictures) fetchFolderPictures();
    const int mode = form_.updateMode;
    if (mode == 2 || mode == 3) {
      forEachGame([this](const quorrel::GameEntry& game) { fetch("Base/screen/" + game.Screen); });
    }
    if (mode == 3) {
      forEachGame([this](const quorrel::GameEntry& game) {
        fetch("Base/games/" + game.File + ".jad");
        fetch("Base/games/" + game.File + ".jar");
      });
    }
    if (!windowClosed()) form_.prompter().message(QStringLiteral("База данных успешно обновлена!"));
  }

 private:
  bool windowClosed() const { return shown_ && !form_.isVisible(); }

  void fetch(const std::string& path) {
    if (!windowClosed()) form_.downloadFromServer(path);
  }

  void fetchFolderPictures() {
    fetch("Base/dir/dir.lst");
    if (windowClosed()) return;
    const std::string list = quorrel::currentDir() + "Base/dir/dir.lst";
    for (const std::string& name : quorrel::readDirList(list)) fetch("Base/dir/" + name + ".gif");
    std::remove(list.c_str());
  }

  // Entries 1 to gameCount of the catalogue just loaded; repeated names are asked for again, and the size
  // check of downloadFromServer then skips them.
  template <typename Fetch>
  void forEachGame(Fetch fetchGame) {
    for (int i = 1; i <= std::min(form_.gameCount, quorrel::GameCapacity) && !windowClosed(); ++i) {
      const quorrel::GameEntry game = form_.games[static_cast<std::size_t>(i)];
      fetchGame(game);
    }
  }

  MainWindow& form_;
  const bool shown_;
};

// The end of every update, also of one refused or stopped by an error: the answers to the changed-size
// question are forgotten and the progress line is cleared.
void endUpdate(MainWindow& form, bool ran) {
  if (ran) {
    form.catalogueTree->setEnabled(true);
    form.busy = false;
  }
  form.overwriteAll = false;
  form.skipAll = false;
  form.progressBar->setMaximum(100);
  form.progressBar->setValue(0);
  form.transferLabel->clear();
}

}  // namespace

void MainWindow::updateCatalogue() {
  overwriteAll = false;
  skipAll = false;
  const bool run = !busy && !RunningUpdate::in(this);
  if (run) {
    const RunningUpdate running(this);
    catalogueTree->setEnabled(false);
    busy = true;
    try {
      CatalogueUpdate(*this).run();
    } catch (...) {
      endUpdate(*this, true);
      throw;
    }
  }
  endUpdate(*this, run);
}
