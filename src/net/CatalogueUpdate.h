#pragma once
// The catalogue update, "Обновить базу": the archive "Javadata.zip" with the new catalogue, unpacked over the
// old one, then the news, the folder pictures, the screenshots and the game files as the settings ask.
#include "net/Downloads.h"

class ZipExtractor;

namespace quorrel {

class CatalogueUpdate {
 public:
  // Makes the zip component (a child of `window`, without its progress window). The update stops fetching
  // once `window`, shown when the update began, is closed. Everything handed in must outlive this object.
  CatalogueUpdate(QWidget* window, Downloads& downloads, CatalogueBrowser& browser, const Catalogue& catalogue,
                  const Settings& settings, Prompter& prompter, MessageLog& log, BusyFlag& busy,
                  const TransferView& view);
  CatalogueUpdate(const CatalogueUpdate&) = delete;
  CatalogueUpdate& operator=(const CatalogueUpdate&) = delete;

  // Runs the update unless a long command or another update runs. A folder, or anything else but a file,
  // under the catalogue's name stops it with an error before anything is asked of the server or changed.
  void updateCatalogue();

  ZipExtractor& zip() { return *zip_; }
  bool running() const { return running_; }

 private:
  friend class UpdateRun;
  void endUpdate(bool ran);

  QWidget* window_;
  Downloads& downloads_;
  CatalogueBrowser& browser_;
  const Catalogue& catalogue_;
  const Settings& settings_;
  Prompter& prompter_;
  MessageLog& log_;
  BusyFlag& busy_;
  TransferView view_;
  ZipExtractor* zip_;
  // Set while an update runs. The busy flag alone cannot keep a second update out: the first failed transfer
  // clears it, and an update started then would take the running one's backup for a stale file.
  bool running_ = false;
};

// At start-up: brings back a catalogue that an interrupted update left only as its backup, and removes the
// temporary files of downloads and unpacking that an earlier run left behind.
void recoverInterruptedUpdate(MessageLog& log);

}  // namespace quorrel
