// The catalogue writer given any texts: every game it writes reads back through the loader to the values it
// wrote, so none is ever refused for reading back otherwise, and the file loads with the games it holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

#include "FuzzSupport.h"
#include "catalogue/Catalogue.h"
#include "suites/CatalogueWriter.h"

using namespace quorrel::suites;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::enterScratchFolder();
  FuzzedDataProvider in(data, size);
  auto text = [&] { return in.ConsumeRandomLengthString(256); };
  CatalogueModel model;
  model.name = text();
  model.desc = text();
  model.version = text();
  model.pic = "template";
  model.pictureHeight = in.ConsumeBool() ? 128 : 160;
  const int folders = in.ConsumeIntegralInRange(0, 3);
  for (int f = 0; f <= folders; ++f) {
    std::vector<CatalogueGame> games;
    const int count = in.ConsumeIntegralInRange(0, 4);
    for (int g = 0; g < count; ++g) {
      CatalogueGame game;
      game.name = text();
      game.size = std::to_string(in.ConsumeIntegral<std::uint16_t>());
      game.file = "g" + std::to_string(f) + "_" + std::to_string(g);
      game.screen = game.file + ".gif";
      game.owner = text();
      game.desc = text();
      games.push_back(std::move(game));
    }
    if (f == 0) {
      model.games = std::move(games);
    } else {
      CatalogueFolder folder;
      folder.name = text();
      folder.desc = text();
      folder.pic = "f" + std::to_string(f);
      folder.games = std::move(games);
      model.folders.push_back(std::move(folder));
    }
  }
  const WrittenCatalogue written = writeCatalogue(model, fuzzsupport::scratchFolder());
  FUZZ_CHECK(written.refused.empty(), "a game was refused: " + (written.refused.empty() ? "" : written.refused[0]));
  fuzzsupport::writeBytes("Javadata.xml", reinterpret_cast<const std::uint8_t*>(written.bytes.data()),
                          written.bytes.size());
  auto folderTable = std::make_unique<quorrel::FolderTable>();
  auto gameTable = std::make_unique<quorrel::GameTable>();
  const quorrel::CatalogueLoad load = quorrel::loadCatalogueFile("Javadata.xml", "javabase.tmp", *folderTable, *gameTable);
  std::size_t games = model.games.size();
  for (const CatalogueFolder& f : model.folders) games += f.games.size();
  FUZZ_CHECK(load.gameCount == static_cast<int>(games), "the catalogue loads with another number of games");
  FUZZ_CHECK(load.folderCount == static_cast<int>(model.folders.size()) + 1, "the catalogue loads with other folders");
  return 0;
}
