#include "suites/CatalogueWriter.h"

#include <QString>

#include <cstdio>
#include <memory>
#include <set>

#include "catalogue/Catalogue.h"
#include "common/Ansi.h"
#include "common/Errors.h"

namespace quorrel::suites {

namespace {

// The letter of each attribute word that has a Cyrillic twin of the same look.
struct Twin {
  const char* word;
  int letter;     // index in the word
  char16_t twin;  // U+0430 а, U+0435 е, U+0440 р, U+0456 і
};
constexpr Twin Twins[] = {
    {"name", 1, u'\u0430'}, {"disp", 1, u'\u0456'}, {"desc", 1, u'\u0435'}, {"vers", 1, u'\u0435'},
    {"pic", 0, u'\u0440'},
};

bool isControl(char16_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029; }

void breakWord(QString& text, const std::string& word) {
  for (const Twin& t : Twins) {
    if (word != t.word) continue;
    const QString w = QString::fromLatin1(t.word);
    for (qsizetype at = text.indexOf(w); at >= 0; at = text.indexOf(w, at + 1)) text[at + t.letter] = QChar(t.twin);
  }
}

std::string line(const std::string& tag, const std::string& value) { return "<" + tag + "=\"" + value + "\">\r\n"; }

// A name as the tree keeps it: no blanks in front (they would read as depth), unique within the catalogue.
std::string uniqueName(std::string ansi, std::set<std::string>& taken) {
  std::size_t b = 0;
  while (b < ansi.size() && (ansi[b] == ' ' || ansi[b] == '\t')) ++b;
  ansi.erase(0, b);
  if (ansi.empty()) ansi = "?";
  std::string name = ansi;
  for (int n = 2; !taken.insert(name).second; ++n) name = ansi + " (" + std::to_string(n) + ")";
  return name;
}

struct Writer {
  WrittenCatalogue out;
  std::set<std::string> names;  // ANSI names of nodes so far, the news entry's among them
  int folders = 0, games = 0;

  std::string text(const std::string& utf8, const std::vector<std::string>& later, const char* what) {
    bool changed = false;
    std::string ansi = catalogueText(utf8, later, changed);
    if (changed) out.notes.push_back(std::string(what) + " «" + utf8 + "» записано так, как его прочтёт Quorrel.");
    return ansi;
  }

  std::string name(const std::string& utf8, const std::vector<std::string>& later, const char* what) {
    const std::string mended = text(utf8, later, what);
    const std::string unique = uniqueName(mended, names);
    if (unique != mended) out.notes.push_back(std::string(what) + " «" + utf8 + "» повторяется и получило номер.");
    return unique;
  }

  void game(const CatalogueGame& g, std::string& file, std::vector<CatalogueGame>& written) {
    if (games >= GameCapacity) {
      out.refused.push_back("Игра «" + g.name + "» не вошла в каталог: в нём уже " + std::to_string(GameCapacity) +
                            " игр.");
      return;
    }
    ++games;
    CatalogueGame w;
    w.name = name(g.name, {}, "Название игры");
    w.size = text(g.size, {}, "Размер игры");
    w.file = text(g.file, {}, "Имя файла игры");
    w.screen = text(g.screen, {}, "Скриншот игры");
    w.owner = text(g.owner, {}, "Автор игры");
    w.desc = text(g.desc, {}, "Описание игры");
    file += "<game name=\"" + w.name + "\">\r\n" + line("size", w.size) + line("file", w.file) +
            line("screen", w.screen) + line("owner", w.owner) + line("desc", w.desc);
    written.push_back(std::move(w));
  }
};

struct Expected {
  std::vector<FolderEntry> folders;
  std::vector<CatalogueGame> games;  // ANSI, in file order
};

std::string render(const CatalogueModel& model, const std::set<std::string>& leaveOut, Writer& w, Expected& e) {
  w.names.insert(newsNodeText());
  std::string file;
  FolderEntry root{w.name(model.name, {"disp", "desc", "vers", "pic"}, "Название модели"),
                   w.text(model.desc, {"vers", "pic"}, "Описание модели"),
                   w.text(model.pic, {}, "Картинка модели")};
  const std::string version = w.text(model.version, {"pic"}, "Версия каталога");
  file += "<model name=\"" + root.name + "\" disp=\"" + std::to_string(model.pictureHeight) + "\" desc=\"" +
          root.description + "\" vers=\"" + version + "\" pic=\"" + root.picture + "\">\r\n";
  e.folders.push_back(root);
  ++w.folders;
  auto games = [&](const std::vector<CatalogueGame>& list) {
    for (const CatalogueGame& g : list)
      if (!leaveOut.count(g.file)) w.game(g, file, e.games);
  };
  games(model.games);
  for (const CatalogueFolder& f : model.folders) {
    if (w.folders >= FolderCapacity) {
      w.out.refused.push_back("Папка «" + f.name + "» и её " + std::to_string(f.games.size()) +
                              " игр не вошли в каталог: в нём уже " + std::to_string(FolderCapacity) + " папок.");
      continue;
    }
    ++w.folders;
    FolderEntry entry{w.name(f.name, {"desc", "pic"}, "Название папки"), w.text(f.desc, {"pic"}, "Описание папки"),
                      w.text(f.pic, {}, "Картинка папки")};
    file += "<folder name=\"" + entry.name + "\" desc=\"" + entry.description + "\" pic=\"" + entry.picture + "\">\r\n";
    e.folders.push_back(entry);
    games(f.games);
    file += "</folder>\r\n";
  }
  file += "<end>\r\n";
  return file;
}

// Loads the bytes through the program's loader; returns the games (by file) that did not read back exactly.
std::set<std::string> readBackFaults(const std::string& bytes, const Expected& e, const std::string& scratchDir,
                                     std::vector<std::string>& reasons) {
  const std::string path = scratchDir + "/Javadata.check.xml";
  const std::string outline = scratchDir + "/javabase.check.tmp";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    throw QuorrelError("Не могу записать " + path + " для проверки каталога.");
  auto folders = std::make_unique<FolderTable>();
  auto games = std::make_unique<GameTable>();
  const CatalogueLoad load = loadCatalogueFile(path, outline, *folders, *games);
  std::remove(path.c_str());
  std::remove(outline.c_str());
  std::set<std::string> faults;
  if (load.folderCount != static_cast<int>(e.folders.size()) || load.gameCount != static_cast<int>(e.games.size()))
    throw QuorrelError("Каталог читается не так, как записан: другое число папок или игр.");
  for (std::size_t i = 0; i < e.folders.size(); ++i) {
    const FolderEntry& got = (*folders)[i + 1];
    if (got.name != e.folders[i].name || got.description != e.folders[i].description || got.picture != e.folders[i].picture)
      throw QuorrelError("Папка «" + fromAnsi(e.folders[i].name).toStdString() + "» читается не так, как записана.");
  }
  for (std::size_t i = 0; i < e.games.size(); ++i) {
    const GameEntry& got = (*games)[i + 1];
    const CatalogueGame& want = e.games[i];
    if (got.name != want.name || got.size != want.size || got.file != want.file || got.screen != want.screen ||
        got.owner != want.owner || got.description != want.desc) {
      faults.insert(want.file);
      reasons.push_back("Игра «" + fromAnsi(want.name).toStdString() +
                        "» не вошла в каталог: её значения читаются не так, как записаны.");
    }
  }
  return faults;
}

}  // namespace

std::string catalogueText(const std::string& utf8, const std::vector<std::string>& laterWords, bool& changed) {
  const QString original = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  QString text;
  text.reserve(original.size());
  for (qsizetype i = 0; i < original.size(); ++i) {
    const char16_t c = original[i].unicode();
    if (isControl(c)) {
      text += QLatin1Char(' ');
    } else if (c == u'"') {
      const bool opens = text.isEmpty() || text.back() == QLatin1Char(' ') || text.back() == QLatin1Char('(');
      text += QChar(opens ? u'\u201C' : u'\u201D');
    } else {
      text += original[i];
    }
  }
  for (const std::string& w : laterWords) breakWord(text, w);
  const std::string ansi = ansiText(text.toStdString());
  changed = fromAnsi(ansi) != original;
  return ansi;
}

std::string ansiText(const std::string& utf8) {
  // The converter puts SUB (0x1A) for a character the code page lacks; the texts here never hold control
  // characters of their own there, and a "?" is what a reader expects to see.
  std::string ansi = toAnsi(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
  for (char& c : ansi)
    if (c == '\x1A') c = '?';
  return ansi;
}

std::vector<std::string> safeFileNames(const std::vector<std::string>& wanted, std::set<std::string> taken) {
  std::vector<std::string> names;
  for (const std::string& w : wanted) {
    std::string base;
    for (char c : w) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
      if (ok) base += c;
      else if (base.empty() || base.back() != '_') base += '_';
      if (base.size() >= 40) break;
    }
    if (base.empty() || base == "_") base = "game";
    auto lower = [](std::string s) {
      for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      return s;
    };
    std::string name = base;
    for (int n = 2; !taken.insert(lower(name)).second; ++n) name = base + "_" + std::to_string(n);
    names.push_back(name);
  }
  return names;
}

WrittenCatalogue writeCatalogue(const CatalogueModel& model, const std::string& scratchDir) {
  std::set<std::string> leaveOut;
  std::vector<std::string> readBackRefusals;
  for (int round = 0; round < 2; ++round) {
    Writer w;
    Expected e;
    w.out.bytes = render(model, leaveOut, w, e);
    const std::set<std::string> faults = readBackFaults(w.out.bytes, e, scratchDir, readBackRefusals);
    if (faults.empty()) {
      w.out.refused.insert(w.out.refused.end(), readBackRefusals.begin(), readBackRefusals.end());
      return w.out;
    }
    leaveOut.insert(faults.begin(), faults.end());
  }
  throw QuorrelError("Каталог не читается так, как записан, даже без игр, которые в нём не прочлись.");
}

}  // namespace quorrel::suites
