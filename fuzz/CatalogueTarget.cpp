// The catalogue "Javadata.xml" as the window loads it: the tag-line reader filling the two tables, the
// outline file and the tree built from it.
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "FuzzSupport.h"
#include "app/MainWindow.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/Ansi.h"
#include "common/Paths.h"

using fuzzsupport::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MainWindow& window = fuzzsupport::mainWindow();
  fuzzsupport::writeBytes("Javadata.xml", data, size);

  std::string error;
  try {
    window.browser().loadCatalogue();
  } catch (const std::exception& e) {
    error = e.what();
  }

  FUZZ_CHECK(window.catalogue().folderCount() >= 0 && window.catalogue().folderCount() <= quorrel::FolderCapacity,
             "folder count out of range");
  FUZZ_CHECK(window.catalogue().gameCount() >= 0 && window.catalogue().gameCount() <= quorrel::GameCapacity,
             "game count out of range");

  int nodes = 0;
  for (QTreeWidgetItemIterator it(window.catalogueView()); *it; ++it) ++nodes;
  const bool outlineLeft = quorrel::fileExists("javabase.tmp");
  if (error.empty()) {
    // Every stored entry has its node, plus the news entry, which is the last root.
    FUZZ_CHECK(nodes == window.catalogue().folderCount() + window.catalogue().gameCount() + 1,
               "tree has " + std::to_string(nodes) + " nodes for " + std::to_string(window.catalogue().folderCount()) +
                   " folders and " + std::to_string(window.catalogue().gameCount()) + " games");
    const int roots = window.catalogueView()->topLevelItemCount();
    FUZZ_CHECK(roots >= 1 && quorrel::CatalogueBrowser::nodeText(window.catalogueView()->topLevelItem(roots - 1)) ==
                                 quorrel::newsNodeText(),
               "the news entry is not the last root");
    FUZZ_CHECK(!outlineLeft, "javabase.tmp left behind after a good load");
  } else {
    // Only a misplaced outline line stops the load after the file was read; it keeps the outline for a look.
    FUZZ_CHECK(error.rfind("Invalid level (", 0) == 0, "unexpected load error: " + error);
    FUZZ_CHECK(outlineLeft, "javabase.tmp missing after a tree error");
    FUZZ_CHECK(nodes <= window.catalogue().folderCount() + window.catalogue().gameCount() + 1,
               "more nodes than outline lines");
  }
  std::remove("javabase.tmp");
  return 0;
}
