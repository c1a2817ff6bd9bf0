// Huge one-line texts shown by the real main window: how long the window stops answering (the longest gap
// between two turns of its event loop, seen by a 1 ms timer) while it loads or shows each of them.
//   bench_hugetext                  every case but "dirlines", sizes as in the list below
//   bench_hugetext <case> [MB]      one case, e.g. "catalogue 1024" under /usr/bin/time -v for the peak memory
// The update cases run the real update against a server on 127.0.0.1 in a child process, and print the longest
// freeze, this process's peak memory, the bytes it wrote, what its log kept and the requests the server saw:
//   bench_hugetext dirlist <MB>         a "dir.lst" of one line of MB megabytes
//   bench_hugetext dirlist-gzip <MB>    the same line sent gzip'ed with "Transfer-Encoding: gzip"
//   bench_hugetext dirlines <N> [s]     a "dir.lst" of N picture names, every picture missing; the window is
//                                       closed after s seconds (60), with the memory every 10 s
//   bench_hugetext dirrefused <N>       a "dir.lst" of N names that no picture can have
//   bench_hugetext longnames <N>        N games whose file and screenshot names are 64 KiB, everything updated
//   bench_hugetext box <KiB>            an error box naming a file of KiB kilobytes, shown by the real box
//   bench_hugetext empty <N>            an archive of N empty members besides the catalogue
//   bench_hugetext folders <N>          an archive of N folders
//   bench_hugetext forbidden <N>        an archive of N members named like libraries ("x/1.dll"); 18000 at
//                                       most, or the directory passes the 1,024,000 bytes an archive may have
//   bench_hugetext history <MiB>        an archive that places a history.txt of MiB mebibytes of line breaks,
//                                       then the history window shows it
//   bench_hugetext newslines <MiB>      news of MiB mebibytes of line breaks, shown
// With BENCH_LOG=1 the update cases print their log and boxes too.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <QApplication>
#include <QComboBox>
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
#include "common/QtPrompter.h"
#include "net/CatalogueUpdate.h"

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

// ---- The update against a hostile server ----

// Bytes this process has written through write() and its kin (files; the server is another process).
long long bytesWritten() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "wchar:") return value;
  }
  return -1;
}

long peakMemoryMb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

long memoryMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

// `mb` megabytes of 'w' and then "\r\n<end>\r\n", gzip'ed.
std::string gzippedLine(long mb) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) std::exit(2);
  std::string out;
  std::string block(1 << 20, 'w');
  std::vector<unsigned char> buf(1 << 16);
  const auto pump = [&](const std::string& in, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    do {
      z.next_out = buf.data();
      z.avail_out = static_cast<uInt>(buf.size());
      deflate(&z, flush);
      out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  for (long i = 0; i < mb; ++i) pump(block, Z_NO_FLUSH);
  pump("\r\n<end>\r\n", Z_FINISH);
  deflateEnd(&z);
  return out;
}

// What the server answers for the list: its extra header lines, its length and how its body is sent.
struct ListReply {
  std::string head;  // extra header lines
  long long size = 0;
  std::function<void(int connection, long long size)> send;
};

bool sendAllOf(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

// The server of the update, in a child process so that its memory is not counted: the archive, the list,
// 404 for everything else. Counts requests in a file beside the archive.
class ForkedServer {
 public:
  ForkedServer(const std::string& archive, const ListReply& list, const std::string& countFile) {
    int port = 0;
    const int fd = bench::listenOnLoopback(64, port);
    port_ = port;
    child_ = ::fork();
    if (child_ != 0) {
      ::close(fd);
      return;
    }
    long requests = 0;
    for (;;) {
      const int c = ::accept(fd, nullptr, nullptr);
      if (c < 0) ::_exit(0);
      const std::string request = bench::readRequestHead(c);
      std::ofstream(countFile, std::ios::trunc) << ++requests;
      const auto start = request.find(' ') + 1;
      const std::string path = request.substr(start, request.find(' ', start) - start);
      if (path == "/Javadata.zip") {
        bench::sendAll(c,
                       "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(archive.size()) + "\r\n\r\n" + archive);
      } else if (path == "/Base/dir/dir.lst") {
        bench::sendAll(c,
                       "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(list.size) + "\r\n" + list.head + "\r\n");
        list.send(c, list.size);
      } else {
        bench::sendAll(c, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
      }
      bench::finishConnection(c);
    }
  }
  ~ForkedServer() {
    ::kill(child_, SIGTERM);
    ::waitpid(child_, nullptr, 0);
  }
  ForkedServer(const ForkedServer&) = delete;
  ForkedServer& operator=(const ForkedServer&) = delete;
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  pid_t child_ = -1;
  int port_ = 0;
};

ListReply streamedList(long long size, const std::function<char(long long at)>& byteAt) {
  ListReply r;
  r.size = size;
  r.send = [byteAt](int c, long long total) {
    std::string block(1 << 16, '\0');
    for (long long at = 0; at < total;) {
      const auto n = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(block.size()), total - at));
      for (std::size_t i = 0; i < n; ++i) block[i] = byteAt(at + static_cast<long long>(i));
      if (!sendAllOf(c, block.data(), n)) return;  // a size query hangs up after the head
      at += static_cast<long long>(n);
    }
  };
  return r;
}

// A list held whole, of up to some megabytes.
ListReply wholeList(const std::string& text, const std::string& head = {}) {
  ListReply r;
  r.head = head;
  r.size = static_cast<long long>(text.size());
  r.send = [text](int c, long long) { sendAllOf(c, text.data(), text.size()); };
  return r;
}

void runUpdateCase(const std::string& name, long amount, long seconds) {
  const std::string folder = bench::scratchFolder("quorrel-hugetext");
  std::filesystem::current_path(folder);
  std::filesystem::create_directories("Base/games");
  std::string xml = "<model name=\"M\" vers=\"1\">\r\n<folder name=\"F\" pic=\"f\">\r\n";
  int mode = 1;
  if (name == "longnames") {
    mode = 3;
    for (long i = 0; i < amount; ++i) {
      const std::string longName = std::to_string(i) + std::string(64 * 1024 - 8, 'n');
      xml += "<game name=\"G" + std::to_string(i) + "\">\r\n<file=\"" + longName + "\">\r\n<screen=\"" + longName +
             ".gif\">\r\n";
    }
  } else {
    xml += "<game name=\"G\">\r\n<file=\"g\">\r\n<screen=\"g.gif\">\r\n";
  }
  xml += "</folder>\r\n<end>\r\n";
  std::filesystem::create_directories("archive");
  std::ofstream("archive/Javadata.xml", std::ios::binary) << xml;
  // Members the archive holds besides the catalogue.
  for (long i = 0; i < amount && (name == "empty" || name == "folders" || name == "forbidden"); ++i) {
    const std::string member = "archive/x/" + std::to_string(i);
    std::filesystem::create_directories("archive/x");
    if (name == "folders") {
      std::filesystem::create_directory(member);
    } else {
      std::ofstream(member + (name == "forbidden" ? ".dll" : ""), std::ios::binary) << "";
    }
  }
  if (name == "history") {
    std::ofstream("archive/history.txt", std::ios::binary) << std::string(amount << 20, '\n');
  }
  if (std::system("cd archive && zip -q -r -X ../Javadata.src.zip .") != 0) std::exit(2);
  std::ifstream in("Javadata.src.zip", std::ios::binary);
  const std::string archive((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove_all("archive");
  std::filesystem::remove("Javadata.src.zip");

  ListReply list;
  if (name == "dirlist") {
    const long long line = static_cast<long long>(amount) << 20;
    list = streamedList(line + 9, [line](long long at) { return at < line ? 'w' : "\r\n<end>\r\n"[at - line]; });
  } else if (name == "dirlist-gzip") {
    // Announced with the length of the line itself, which is what the download counts once it is inflated.
    list = wholeList(gzippedLine(amount), "Transfer-Encoding: gzip\r\n");
    list.size = (static_cast<long long>(amount) << 20) + 9;
  } else if (name == "dirlines" || name == "dirrefused") {
    std::string text;
    for (long i = 0; i < amount; ++i) text += (name == "dirlines" ? "pic" : "a/b") + std::to_string(i) + "\r\n";
    list = wholeList(text + "<end>\r\n");
  }
  const std::string countFile = folder + "requests.count";
  ForkedServer server(archive, list, countFile);
  std::ofstream("Quorrel.ini", std::ios::binary)
      << "[Update Server]\r\n"
      << server.base() << "\r\n"
      << mode << "\r\n"
      << (list.send ? "1" : "0")
      << "\r\n\r\n[Proxy Settings]\r\n0\r\n\r\n\r\n\r\n\r\n\r\n[Connection]\r\nCOM1\r\n115200\r\n1\r\n\r\n"
         "[Interface]\r\n0\r\n";

  bench::SilentPrompter prompter;
  MainWindow form(&prompter);
  form.show();
  prompter.asked.clear();  // the start-up's report of the missing catalogue
  const long long writtenBefore = bytesWritten();
  QElapsedTimer wall;
  wall.start();
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, [&] {
    std::printf("  after %3lld s: %ld MB, log %d lines\n", wall.elapsed() / 1000, memoryMb(),
                static_cast<int>(form.logLines().size()));
    std::fflush(stdout);
  });
  QTimer closer;
  closer.setSingleShot(true);
  QObject::connect(&closer, &QTimer::timeout, [&] { form.close(); });
  if (name == "dirlines") {
    sample.start(10000);
    closer.start(static_cast<int>(seconds * 1000));
  }
  double freezeMs = longestFreeze([&] { form.guarded([&] { form.catalogueUpdate().updateCatalogue(); }); });
  sample.stop();
  if (name == "history") {
    // The history the archive placed, shown by the window's own command.
    QTimer::singleShot(300, [] {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    freezeMs = std::max(freezeMs, longestFreeze([&] { form.guarded([&] { form.showHistory(); }); }));
  }
  const QStringList log = form.logLines();
  if (std::getenv("BENCH_LOG")) {
    for (int i = static_cast<int>(log.size()) - 1; i >= 0; --i)
      std::printf("  | %s\n", log.at(i).left(200).toUtf8().constData());
    for (const QString& box : prompter.asked) std::printf("  box: %s\n", box.left(200).toUtf8().constData());
  }
  long requests = 0;
  std::ifstream(countFile) >> requests;
  int refused = 0;
  for (const QString& line : log) refused += line.contains(QStringLiteral("не запрошена")) ? 1 : 0;
  qsizetype longest = 0;
  for (const QString& line : log) longest = std::max(longest, line.size());
  std::printf(
      "%-12s %6ld   %.1f s, longest freeze %.0f ms, peak memory %ld MB, written %.1f MB; log %d lines (longest %lld "
      "characters, %d refusals), %ld requests; last box: %s\n",
      name.c_str(), amount, static_cast<double>(wall.elapsed()) / 1000, freezeMs, peakMemoryMb(),
      static_cast<double>(bytesWritten() - writtenBefore) / (1024 * 1024), static_cast<int>(log.size()),
      static_cast<long long>(longest), refused, requests,
      prompter.asked.empty() ? "none" : prompter.asked.back().left(80).toUtf8().constData());
  std::fflush(stdout);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
}

// An error box naming a file of `kib` kilobytes, shown by the real message box and closed 300 ms later.
void runBoxCase(long kib) {
  QWidget window;
  window.show();
  quorrel::QtPrompter prompter;
  const QString text = QStringLiteral("Cannot open file \"") + QString(kib * 1024, QLatin1Char('n')) +
                       QStringLiteral("\". File not found");
  QTimer::singleShot(300, [] {
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  const double freezeMs = longestFreeze([&] { prompter.error(text); });
  std::printf("%-12s %6ld KiB   longest freeze %.0f ms, peak memory %ld MB\n", "box", kib, freezeMs, peakMemoryMb());
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
    QTreeWidgetItem* item = findNode(form.catalogueView(), node);
    if (!item) {
      std::fprintf(stderr, "%s: node not found\n", name.c_str());
      std::exit(1);
    }
    showMs = longestFreeze([&] { form.catalogueView()->setCurrentItem(item); });
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
    QTreeWidgetItem* item = form.catalogueView()->topLevelItem(0)->child(0);
    showMs = longestFreeze([&] { form.catalogueView()->setCurrentItem(item); });
  } else if (name == "folder") {
    writeHuge("Javadata.xml", "<model name=\"M\">\r\n<folder name=\"F\" desc=\"", mb,
              "\">\r\n<game name=\"G\">\r\n</folder>\r\n<end>\r\n");
    load();
    show(QStringLiteral("F"));
  } else if (name == "news" || name == "newslines") {
    std::ofstream("Javadata.xml") << game << "<end>\r\n";
    if (name == "news") {
      writeHuge("Base/news.new", "", mb, "");
    } else {
      std::ofstream("Base/news.new", std::ios::binary) << std::string(mb << 20, '\n');
    }
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
    const std::string name = argv[1];
    if (name == "box") {
      runBoxCase(argc >= 3 ? std::atol(argv[2]) : 64);
    } else if (name.rfind("dir", 0) == 0 || name == "longnames" || name == "empty" || name == "folders" ||
               name == "forbidden" || name == "history") {
      const long fallback = name == "dirlist"        ? 10
                            : name == "dirlist-gzip" ? 300
                            : name == "longnames"    ? 500
                            : name == "history"      ? 1
                            : name == "empty" || name == "folders" || name == "forbidden" ? 19000
                                                                                           : 100000;
      runUpdateCase(name, argc >= 3 ? std::atol(argv[2]) : fallback, argc >= 4 ? std::atol(argv[3]) : 60);
    } else {
      runCase(name, argc >= 3 ? std::atol(argv[2]) : 300);
    }
    return 0;
  }
  for (const char* c : {"description", "name", "owner", "size", "file", "folder"}) runCase(c, 300);
  runCase("news", 40);
  runCase("news", 300);
  runCase("catalogue", 1024);
  // The peak memory of these is that of the whole run so far: run a case alone for its own.
  runUpdateCase("dirlist", 10, 0);
  runUpdateCase("dirlist", 50, 0);
  runUpdateCase("dirlist-gzip", 300, 0);
  runUpdateCase("dirrefused", 100000, 0);
  runUpdateCase("longnames", 500, 0);
  runUpdateCase("empty", 19000, 0);
  runUpdateCase("folders", 19000, 0);
  runUpdateCase("forbidden", 18000, 0);
  runUpdateCase("history", 1, 0);
  runCase("newslines", 1);
  runBoxCase(64);
  return 0;
}
