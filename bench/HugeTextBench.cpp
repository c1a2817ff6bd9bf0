// Huge one-line texts shown by the real main window: how long the window stops answering (the longest gap
// between two turns of its event loop, seen by a 1 ms timer) while it loads or shows each of them.
//   bench_hugetext                  every case, sizes as in the list below
//   bench_hugetext <case> [MB]      one case, e.g. "catalogue 1024" under /usr/bin/time -v for the peak memory
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "catalogue/CatalogueBrowser.h"

namespace {

// Writes `head`, then `mb` megabytes of one repeated letter with no line break, then `tail`.
void writeHuge(const std::string& path, const std::string& head, long mb, const std::string& tail) {
  std::ofstream out(path, std::ios::binary);
  out << head;
  const std::string block(1 << 20, 'w');
  for (long i = 0; i < mb; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  out << tail;
}

// Runs `action` from the event loop and returns the longest gap in ms between two turns of the loop, counted
// from just before the action until the loop has run quietly for 300 ms after it.
double longestFreeze(const std::function<void()>& action) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.elapsed();
  qint64 worst = 0;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    worst = std::max(worst, now - last);
    last = now;
  });
  tick.start(1);
  QEventLoop loop;
  QTimer::singleShot(5, [&] {
    action();
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
  });
  loop.exec();
  tick.stop();
  return static_cast<double>(worst);
}

QTreeWidgetItem* findNode(QTreeWidget* tree, const QString& text) {
  const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

void runCase(const std::string& name, long mb) {
  const std::string folder = bench::scratchFolder("quorrel-hugetext");
  std::filesystem::current_path(folder);
  std::filesystem::create_directories("Base/games");
  bench::SilentPrompter prompter;
  MainWindow form(&prompter);  // no Quorrel.ini: the start-up read stops before the catalogue
  form.show();
  const std::string game = "<model name=\"M\" vers=\"1\">\r\n<game name=\"G\">\r\n";
  double loadMs = 0;
  double showMs = 0;
  auto load = [&] { loadMs = longestFreeze([&] { form.guarded([&] { form.browser().loadCatalogue(); }); }); };
  auto show = [&](const QString& node) {
    QTreeWidgetItem* item = findNode(form.catalogueTree, node);
    if (!item) {
      std::fprintf(stderr, "%s: node not found\n", name.c_str());
      std::exit(1);
    }
    showMs = longestFreeze([&] { form.catalogueTree->setCurrentItem(item); });
  };

  if (name == "catalogue") {
    writeHuge("Javadata.xml", "<model name=\"", mb, "\">\r\n<end>\r\n");
    load();
  } else if (name == "description" || name == "owner" || name == "size" || name == "file") {
    const std::string tag = name == "description" ? "desc" : name;
    writeHuge("Javadata.xml", game + "<" + tag + "=\"", mb, "\">\r\n<end>\r\n");
    load();
    show(QStringLiteral("G"));
  } else if (name == "name") {
    writeHuge("Javadata.xml", "<model name=\"M\">\r\n<game name=\"", mb, "\">\r\n<end>\r\n");
    load();
    QTreeWidgetItem* item = form.catalogueTree->topLevelItem(0)->child(0);
    showMs = longestFreeze([&] { form.catalogueTree->setCurrentItem(item); });
  } else if (name == "folder") {
    writeHuge("Javadata.xml", "<model name=\"M\">\r\n<folder name=\"F\" desc=\"", mb,
              "\">\r\n<game name=\"G\">\r\n</folder>\r\n<end>\r\n");
    load();
    show(QStringLiteral("F"));
  } else if (name == "news") {
    std::ofstream("Javadata.xml") << game << "<end>\r\n";
    writeHuge("Base/news.new", "", mb, "");
    load();
    show(QStringLiteral("Новости"));
  } else {
    std::fprintf(stderr, "unknown case %s\n", name.c_str());
    std::exit(2);
  }
  std::printf("%-12s %6ld MB   longest freeze: load %6.0f ms, show %6.0f ms\n", name.c_str(), mb, loadMs, showMs);
  std::fflush(stdout);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  if (argc >= 2) {
    runCase(argv[1], argc >= 3 ? std::atol(argv[2]) : 300);
    return 0;
  }
  for (const char* c : {"description", "name", "owner", "size", "file", "folder"}) runCase(c, 300);
  runCase("news", 40);
  runCase("news", 300);
  runCase("catalogue", 1024);
  return 0;
}
