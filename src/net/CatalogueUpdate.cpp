// The catalogue update: the archive "Javadata.zip" with the new catalogue, unpacked over the old one, then the
// news, the folder pictures, the screenshots and the game files as the settings ask. Every file goes through
// Downloads::downloadFromServer, so the window stays live and shows each transfer's progress.
#include "net/CatalogueUpdate.h"

#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/BusyFlag.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Prompter.h"
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

// Moves the catalogue aside as the backup. A backup left by an earlier run is dropped first when a catalogue
// stands beside it, since that catalogue is the newer one; without a catalogue the old backup is the only copy
// and stays. Afterwards no "Javadata.xml" exists, so only the new archive can bring one back.
void backUpCatalogue(const CatalogueFiles& f) {
  if (!fileExists(f.current)) return;
  std::remove(f.backup.c_str());
  if (std::rename(f.current.c_str(), f.backup.c_str()) != 0) {
    // The catalogue stays where it is, and the update stops before it could be mistaken for a new one.
    throw QuorrelError("Не могу сохранить прежнюю базу Javadata.xml в Javadata.tmp: " + ioErrorText(errno));
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
    zip.ExtractDir = currentDir();
    zip.ExtractOptions = ZipExtractor::ExtractOption0;
    zip.Extract();
  } catch (...) {
    std::remove(f.archive.c_str());
    std::remove(f.current.c_str());  // a catalogue from a broken archive is not trusted
    restoreCatalogue(f);
    throw;
  }
  std::remove(f.archive.c_str());
  if (fileExists(f.current)) {
    std::remove(f.backup.c_str());
    return true;
  }
  restoreCatalogue(f);
  return false;
}

// One run of the update. When the user closes the window meanwhile, the application is ending: the transfer
// under way is cancelled, and the run fetches nothing more and shows no message, so that no hidden window
// goes on downloading.
}  // namespace

class UpdateRun {
 public:
  explicit UpdateRun(CatalogueUpdate& update) : update_(update), shown_(update.window_->isVisible()) {}

  void run() {
    fetch("Javadata.zip");
    const CatalogueFiles files = catalogueFiles();
    if (windowClosed()) {
      std::remove(files.archive.c_str());
      return;
    }
    backUpCatalogue(files);
    if (!unpackCatalogue(*update_.zip_, files)) {
      update_.prompter_.message(QStringLiteral("Сервер не найден!"));
      return;
    }

    update_.browser_.loadCatalogue();
    fetch("Base/news.new");
    if (update_.settings_.updateFolderPictures()) fetchFolderPictures();
    const int mode = update_.settings_.updateMode();
    if (mode == 2 || mode == 3) {
      forEachGame([this](const GameEntry& game) { fetch("Base/screen/" + game.Screen); });
    }
    if (mode == 3) {
      forEachGame([this](const GameEntry& game) {
        fetch("Base/games/" + game.File + ".jad");
        fetch("Base/games/" + game.File + ".jar");
      });
    }
    if (!windowClosed()) update_.prompter_.message(QStringLiteral("База данных успешно обновлена!"));
  }

 private:
  bool windowClosed() const { return shown_ && !update_.window_->isVisible(); }

  void fetch(const std::string& path) {
    if (!windowClosed()) update_.downloads_.downloadFromServer(path);
  }

  void fetchFolderPictures() {
    fetch("Base/dir/dir.lst");
    if (windowClosed()) return;
    const std::string list = currentDir() + "Base/dir/dir.lst";
    for (const std::string& name : readDirList(list)) fetch("Base/dir/" + name + ".gif");
    std::remove(list.c_str());
  }

  // Entries 1 to gameCount of the catalogue just loaded; repeated names are asked for again, and the size
  // check of the download then skips them.
  template <typename Fetch>
  void forEachGame(Fetch fetchGame) {
    for (int i = 1; i <= std::min(update_.catalogue_.gameCount(), GameCapacity) && !windowClosed(); ++i) {
      const GameEntry game = update_.catalogue_.game(i);
      fetchGame(game);
    }
  }

  CatalogueUpdate& update_;
  const bool shown_;
};

CatalogueUpdate::CatalogueUpdate(QWidget* window, Downloads& downloads, CatalogueBrowser& browser,
                                 const Catalogue& catalogue, const Settings& settings, Prompter& prompter,
                                 BusyFlag& busy, const TransferView& view)
    : window_(window),
      downloads_(downloads),
      browser_(browser),
      catalogue_(catalogue),
      settings_(settings),
      prompter_(prompter),
      busy_(busy),
      view_(view),
      zip_(new ZipExtractor(window, &prompter)) {
  zip_->setObjectName(QStringLiteral("zipExtractor"));
  zip_->ShowProgressDialog = false;
}

// The end of every update, also of one refused or stopped by an error: the answers to the changed-size
// question are forgotten and the progress line is cleared.
void CatalogueUpdate::endUpdate(bool ran) {
  if (ran) {
    view_.catalogueTree->setEnabled(true);
    busy_.clear();
  }
  downloads_.answers() = ChangedFileAnswers();
  view_.progressBar->setMaximum(100);
  view_.progressBar->setValue(0);
  view_.transferLabel->clear();
}

void CatalogueUpdate::updateCatalogue() {
  downloads_.answers() = ChangedFileAnswers();
  const bool run = !busy_.isSet() && !running_;
  if (run) {
    running_ = true;
    view_.catalogueTree->setEnabled(false);
    busy_.set();
    try {
      UpdateRun(*this).run();
    } catch (...) {
      running_ = false;
      endUpdate(true);
      throw;
    }
    running_ = false;
  }
  endUpdate(run);
}

}  // namespace quorrel
