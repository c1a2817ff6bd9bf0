#pragma once
// The catalogue update, "Обновить базу": the archive "Javadata.zip" with the new catalogue, unpacked over the
// old one, then the news, the folder pictures, the screenshots and the game files as the settings ask.
#include "net/Downloads.h"

class ZipExtractor;

namespace quorrel {

// The window as the update sees it.
class UpdateView : public TransferView {
 public:
  // Whether the window is shown. One shown when the update began and no longer shown has been closed: the
  // program is ending, and the update stops fetching.
  virtual bool windowShown() const = 0;
  // The update placed a new catalogue: the window loads it (into the catalogue the update reads next) and
  // shows it.
  virtual void catalogueArrived() = 0;
};

class CatalogueUpdate {
 public:
  // Makes the zip component (a child of `owner`, without its progress window). Everything handed in must
  // outlive this object.
  CatalogueUpdate(QObject* owner, Downloads& downloads, const Catalogue& catalogue, const Settings& settings,
                  Prompter& prompter, MessageLog& log, CommandState& commands, UpdateView& view);
  CatalogueUpdate(const CatalogueUpdate&) = delete;
  CatalogueUpdate& operator=(const CatalogueUpdate&) = delete;

  // Runs the update unless a long command or another update runs. A folder, or anything else but a file,
  // under the catalogue's name stops it with an error before anything is asked of the server or changed.
  void updateCatalogue();

  ZipExtractor& zip() { return *zip_; }

 private:
  friend class UpdateRun;
  void endUpdate();

  Downloads& downloads_;
  const Catalogue& catalogue_;
  const Settings& settings_;
  Prompter& prompter_;
  MessageLog& log_;
  CommandState& commands_;
  UpdateView& view_;
  ZipExtractor* zip_;
};

// At start-up: brings back a catalogue that an interrupted update left only as its backup, and removes the
// temporary files of downloads and unpacking that an earlier run left behind.
void recoverInterruptedUpdate(MessageLog& log);

}  // namespace quorrel
