// Load of a full catalogue (250 folders, 1000 games) into the tables and the tree of the real main window.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/Prompter.h"

namespace {

// 1 model, 249 folders of 4 games each (996) plus 4 games under the model: 250 folder entries, 1000 games.
void writeFullCatalogue(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "<model name=\"SGH-X100\" disp=\"128\" desc=\"Model\" vers=\"9.9\" pic=\"x100\">\r\n";
  int game = 0;
  auto writeGame = [&] {
    ++game;
    out << "<game name=\"Game " << game << "\">\r\n<size=\"" << 10000 + game << "\">\r\n<file=\"game" << game
        << "\">\r\n<screen=\"game" << game << ".gif\">\r\n<owner=\"Owner\">\r\n<desc=\"A description of game " << game
        << ", long enough to look like a real one.\">\r\n";
  };
  for (int f = 1; f <= 249; ++f) {
    out << "<folder name=\"Folder " << f << "\" desc=\"Folder description\" pic=\"dir" << f << "\">\r\n";
    for (int g = 0; g < 4; ++g) writeGame();
    out << "</folder>\r\n";
  }
  for (int g = 0; g < 4; ++g) writeGame();
  out << "<end>\r\n";
}

struct WorkDir {
  std::string path;
  std::string previous;
  WorkDir() {
    previous = std::filesystem::current_path().string();
    char tmpl[] = "/tmp/quorrel-bench-XXXXXX";
    path = ::mkdtemp(tmpl);
    std::filesystem::current_path(path);
  }
  ~WorkDir() {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(path);
  }
};

void BM_LoadCatalogueCore(benchmark::State& state) {
  WorkDir dir;
  writeFullCatalogue("Javadata.xml");
  auto folders = std::make_unique<quorrel::FolderTable>();
  auto games = std::make_unique<quorrel::GameTable>();
  for (auto _ : state) {
    auto r = quorrel::loadCatalogueFile("Javadata.xml", "javabase.tmp", *folders, *games);
    std::vector<quorrel::TreeNode> nodes;
    quorrel::buildOutlineTree(quorrel::readOutlineFile("javabase.tmp"), nodes);
    benchmark::DoNotOptimize(r.gameCount);
  }
}
BENCHMARK(BM_LoadCatalogueCore)->Unit(benchmark::kMillisecond);

void BM_LoadCatalogueIntoWindow(benchmark::State& state) {
  WorkDir dir;
  writeFullCatalogue("Javadata.xml");
  bench::SilentPrompter prompter;
  MainWindow form(&prompter);
  for (auto _ : state) {
    form.browser().loadCatalogue();
    benchmark::DoNotOptimize(form.catalogueView()->topLevelItemCount());
  }
  if (form.catalogue().gameCount() != 1000 || form.catalogue().folderCount() != 250)
    state.SkipWithError("catalogue not loaded whole");
}
BENCHMARK(BM_LoadCatalogueIntoWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
