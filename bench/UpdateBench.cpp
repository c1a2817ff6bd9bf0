// bench_update: a whole catalogue update ("Обновлять всю базу целиком") of a generated catalogue of 1000 games,
// each with a screenshot and a 100 KB .jar, from a loopback server, against one curl process fetching the same
// files from the same server in the same run, and against one curl process making the update's own requests
// (HTTP/1.0, a connection each, a size query before each file). Prints the times, their ratios and the
// requests made.
//   bench_update [--games N]                    serves the generated update itself on 127.0.0.1
//   bench_update [--games N] --make-tree DIR    only writes the update tree into DIR (for another server)
//   bench_update [--games N] --tree DIR URL     updates from URL, which serves DIR
//   BENCH_RUNS=n (3) runs of each; BENCH_RTT_MS=ms names the round trip between client and server (a delaying
//   forwarder in front of the server), so that the cost of the request pattern alone is printed beside.
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "common/Prompter.h"
#include "net/CatalogueUpdate.h"

namespace fs = std::filesystem;

namespace {

int Games = 1000;
constexpr int GamesPerFolder = 20;
constexpr std::size_t JarSize = 100 * 1024;

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string bytes(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + seed * 7919 + i / 977) & 0xFF);
  return s;
}

std::string gameName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "game%04d", i);
  return name;
}

// Every file an update fetches, relative to the server's base and the working folder.
std::vector<std::string> updateFiles() {
  std::vector<std::string> files = {"Javadata.zip", "Base/news.new"};
  for (int i = 1; i <= Games; ++i) files.push_back("Base/screen/" + gameName(i) + ".gif");
  for (int i = 1; i <= Games; ++i) {
    files.push_back("Base/games/" + gameName(i) + ".jad");
    files.push_back("Base/games/" + gameName(i) + ".jar");
  }
  return files;
}

// The server's tree: Javadata.zip with the catalogue, the news, and per game a screenshot, a .jad and a .jar.
void makeTree(const fs::path& root) {
  fs::create_directories(root);
  std::string xml = "<model name=\"SGH-X100\" disp=\"128\" desc=\"bench\" vers=\"1\" pic=\"x100\">\r\n";
  for (int i = 1; i <= Games; ++i) {
    if ((i - 1) % GamesPerFolder == 0) {
      if (i > 1) xml += "</folder>\r\n";
      xml += "<folder name=\"Folder " + std::to_string(i / GamesPerFolder + 1) + "\" desc=\"d\" pic=\"f\">\r\n";
    }
    const std::string name = gameName(i);
    xml += "<game name=\"Game " + std::to_string(i) + "\">\r\n<size=\"" + std::to_string(JarSize) + "\">\r\n<file=\"" +
           name + "\">\r\n<screen=\"" + name + ".gif\">\r\n<owner=\"bench\">\r\n<desc=\"A generated game.\">\r\n";
    writeFile(root / "Base/screen" / (name + ".gif"), bytes(3000 + static_cast<std::size_t>(i % 500), i));
    writeFile(root / "Base/games" / (name + ".jad"),
              "MIDlet-Name: " + name + "\r\nMIDlet-Jar-Size: " + std::to_string(JarSize) + "\r\n");
    writeFile(root / "Base/games" / (name + ".jar"), bytes(JarSize, static_cast<unsigned>(i) + 1));
  }
  xml += "</folder>\r\n<end>\r\n";
  const fs::path staging = root / "catalogue.tmp";
  writeFile(staging / "Javadata.xml", xml);
  const std::string zip =
      "cd '" + staging.string() + "' && zip -q -X '" + (root / "Javadata.zip").string() + "' Javadata.xml";
  if (std::system(zip.c_str()) != 0) {
    std::fprintf(stderr, "zip failed\n");
    std::exit(2);
  }
  fs::remove_all(staging);
  writeFile(root / "Base/news.new", "News: 1000 games.\r\n");
}

// Serves the files of a tree from memory over HTTP/1.0, one connection at a time, and counts the requests.
class LoopbackServer {
 public:
  explicit LoopbackServer(const fs::path& root)
      : files_(readTree(root)), server_(64, [this](int c, const std::string& request) { answer(c, request); }) {}
  std::string base() const { return server_.url("/"); }
  long requests() const { return requests_; }

 private:
  static std::map<std::string, std::string> readTree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_regular_file()) files["/" + fs::relative(e.path(), root).generic_string()] = readFile(e.path());
    }
    return files;
  }
  void answer(int c, const std::string& request) {
    ++requests_;
    const auto start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    const auto it = files_.find(path);
    if (it == files_.end()) {
      bench::sendAll(c, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    } else {
      bench::sendAll(
          c, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(it->second.size()) + "\r\n\r\n" + it->second);
    }
  }
  const std::map<std::string, std::string> files_;
  std::atomic<long> requests_{0};
  bench::LoopbackServer server_;  // last: it answers from the files above
};

// "median s (min–max)" of a series of runs.
std::string spread(const std::vector<double>& v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f s (%.2f–%.2f)", bench::median(v), *std::min_element(v.begin(), v.end()),
                *std::max_element(v.begin(), v.end()));
  return text;
}

// A fresh working folder as a first start leaves it, with the settings for a whole-catalogue update.
void freshWorkingFolder(const fs::path& work, const std::string& base) {
  fs::remove_all(work);
  fs::create_directories(work / "Base/games");
  writeFile(work / "Quorrel.ini", "[Update Server]\r\n" + base +
                                      "\r\n3\r\n0\r\n\r\n[Proxy Settings]\r\n0\r\n\r\n\r\n\r\n\r\n\r\n[Connection]\r\n"
                                      "COM1\r\n115200\r\n1\r\n\r\n[Interface]\r\n0\r\n");
}

struct UpdateRun {
  double seconds = 0;
  long requests = 0;  // size queries and transfers, from the log
  bool ok = false;
};

UpdateRun runUpdate(const fs::path& work, const std::string& base) {
  freshWorkingFolder(work, base);
  fs::current_path(work);
  bench::SilentPrompter prompter;
  UpdateRun r;
  {
    auto form = createApplicationWindows(&prompter);
    prompter.asked.clear();
    // Counted as the lines arrive: the log keeps only its newest lines.
    QAbstractItemModel* const log = form->findChild<QComboBox*>(QStringLiteral("messageLog"))->model();
    QObject::connect(log, &QAbstractItemModel::rowsInserted, [&r, log](const QModelIndex&, int first, int last) {
      for (int i = first; i <= last; ++i) {
        const QString line = log->index(i, 0).data().toString();
        if (line.contains(QStringLiteral(" Проверяю размер файла ")) ||
            line.contains(QStringLiteral(" Получение файла "))) {
          ++r.requests;
        }
      }
    });
    const auto t0 = std::chrono::steady_clock::now();
    form->guarded([&form] { form->catalogueUpdate().updateCatalogue(); });
    r.seconds = bench::seconds(t0);
    r.ok = prompter.asked == std::vector<QString>{QStringLiteral("База данных успешно обновлена!")} &&
           form->catalogue().gameCount() == Games;
  }
  fs::current_path(work.parent_path());
  return r;
}

// One curl process fetching the files. With sizeQueries it also makes the update's size query before every
// file: a GET whose body is refused once the headers are in.
double runCurl(const fs::path& work, const std::string& base, const std::vector<std::string>& files, bool sizeQueries) {
  fs::remove_all(work);
  fs::create_directories(work);
  std::string config;
  for (const std::string& f : files) {
    const std::string url = "url = \"" + base + f + "\"\nnoproxy = \"*\"\nhttp1.0\n";
    if (sizeQueries)
      config += std::string(config.empty() ? "" : "next\n") + url + "output = \"/dev/null\"\nmax-filesize = 1\nnext\n";
    config += url + "output = \"" + (work / f).string() + "\"\ncreate-dirs\nfail\n";
  }
  writeFile(work.parent_path() / "curl.cfg", config);
  // The refused bodies are errors to curl; the files fetched are checked instead of its exit code.
  const std::string command =
      std::string("curl -s ") + (sizeQueries ? "" : "-S ") + "-K '" + (work.parent_path() / "curl.cfg").string() + "'";
  const auto t0 = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double elapsed = bench::seconds(t0);
  if (status != 0 || readFile(work / files.back()).empty()) {
    std::fprintf(stderr, "curl failed\n");
    std::exit(1);
  }
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--games") {
    Games = std::max(1, std::atoi(args[1].c_str()));
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() == 2 && args[0] == "--make-tree") {
    makeTree(fs::absolute(args[1]));
    return 0;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const fs::path dir = bench::scratchFolder("quorrel-bench-update");

  const bool external = args.size() == 3 && args[0] == "--tree";
  const fs::path tree = external ? fs::absolute(args[1]) : dir / "server";
  const std::vector<std::string> files = updateFiles();
  if (!external) makeTree(tree);
  std::unique_ptr<LoopbackServer> server;
  if (!external) server = std::make_unique<LoopbackServer>(tree);
  const std::string base = external ? args[2] : server->base();

  const int runs = std::getenv("BENCH_RUNS") ? std::atoi(std::getenv("BENCH_RUNS")) : 3;
  std::vector<double> ours, curl, curlSame;
  long requests = 0;
  long served = 0;
  for (int i = 0; i < runs; ++i) {
    const long before = server ? server->requests() : 0;
    // Every run writes into a folder of its own: deleting thousands of files just before a run makes the file
    // system slow to create new ones, which would only measure the disk.
    const fs::path work = dir / ("work" + std::to_string(i));
    const fs::path fetched = dir / ("curl" + std::to_string(i));
    const UpdateRun r = runUpdate(work, base);
    if (!r.ok) {
      std::fprintf(stderr, "the update did not end with the new catalogue and its success message\n");
      return 1;
    }
    ours.push_back(r.seconds);
    requests = r.requests;
    if (server) served = server->requests() - before;
    curl.push_back(runCurl(fetched, base, files, false));
    curlSame.push_back(runCurl(dir / "curl-same", base, files, true));
  }
  // Both runs left the same files behind.
  for (const std::string& f :
       {"Base/games/" + gameName((Games + 1) / 2) + ".jar", "Base/screen/" + gameName(Games) + ".gif"}) {
    if (readFile(dir / "work0" / f) != readFile(dir / "curl0" / f)) {
      std::fprintf(stderr, "%s differs between the update and curl\n", f.c_str());
      return 1;
    }
  }
  std::printf("server: %s; %d games, %zu files (%.1f MB), median of %d runs\n", base.c_str(), Games, files.size(),
              static_cast<double>(Games) * (JarSize + 3250) / 1048576.0, runs);
  std::printf("update, whole catalogue (mode 3): %s, %ld requests (a size query and a transfer per file)\n",
              spread(ours).c_str(), requests);
  if (server) std::printf("requests the server counted:     %ld\n", served);
  std::printf("one curl process, same files:     %s, %zu requests\n", spread(curl).c_str(), files.size());
  std::printf("ratio of the medians:             %.2fx (of the fastest runs: %.2fx)\n",
              bench::median(ours) / bench::median(curl),
              *std::min_element(ours.begin(), ours.end()) / *std::min_element(curl.begin(), curl.end()));
  std::printf("one curl process, the update's requests (a size query before each file): %s, %zu requests\n",
              spread(curlSame).c_str(), 2 * files.size());
  std::printf("ratio to it:                      %.2fx\n", bench::median(ours) / bench::median(curlSame));
  std::printf("time of our own per request:      %.3f ms (the update's median less curl's, over %ld requests)\n",
              1000.0 * (bench::median(ours) - bench::median(curlSame)) / static_cast<double>(requests), requests);
  if (const char* rtt = std::getenv("BENCH_RTT_MS")) {
    // A connection costs a round trip before its request can go out, the request another until the answer
    // begins; the bodies cross in the second one or soon after it on a link without a bandwidth limit.
    const double floor = static_cast<double>(requests) * 2.0 * std::atof(rtt) / 1000.0;
    std::printf("the request pattern alone:        %.2f s (%ld requests x 2 round trips of %s ms)\n", floor, requests,
                rtt);
  }
  fs::current_path("/");
  fs::remove_all(dir);
  return 0;
}
