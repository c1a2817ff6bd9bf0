#include "catalogue/Catalogue.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"

namespace quorrel {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openOrThrow(const std::string& path, const char* mode) {
  FilePtr f(std::fopen(path.c_str(), mode));
  if (!f) throwIoError(errno);
  return f;
}

// Reads one line ended by LF (a CR before the LF is dropped). False at the end of the file.
bool readLine(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool startsWith(const std::string& line, const char* tag) {
  return line.compare(0, std::char_traits<char>::length(tag), tag) == 0;
}

// A detail line's own value starts right after its tag and two more characters.
std::string ownValue(const std::string& line, const char* word) { return attributeValue(line, word); }

void writeOutlineLine(std::FILE* out, int depth, const std::string& text) {
  for (int i = 0; i < depth; ++i) std::fputc(' ', out);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputs("\r\n", out);
}

}  // namespace

std::string attributeValue(const std::string& line, const std::string& word) {
  const auto at = line.find(word);
  if (at == std::string::npos) return {};
  const auto start = at + word.size() + 2;
  if (start >= line.size()) return {};
  const auto quote = line.find('"', start);
  return line.substr(start, quote == std::string::npos ? std::string::npos : quote - start);
}

const std::string& newsNodeText() {
  static const std::string text = ansi("Новости");
  return text;
}

CatalogueLoad loadCatalogueFile(const std::string& cataloguePath, const std::string& outlinePath, FolderTable& folders,
                                GameTable& games) {
  FilePtr in = openOrThrow(cataloguePath, "rb");
  FilePtr out = openOrThrow(outlinePath, "wb");

  CatalogueLoad r;
  int depth = 0;
  // Inside a model or folder that was left out, everything down to its end is left out with it.
  bool skipping = false;
  bool skippingModel = false;
  int skipDepth = 0;
  bool gameStored = false;  // the most recent game line has an entry that detail lines may fill

  auto leaveOutFolderTree = [&](bool model) {
    ++r.foldersLeftOut;
    skipping = true;
    skippingModel = model;
    skipDepth = depth;
    gameStored = false;
  };

  std::string line;
  while (readLine(in.get(), line)) {
    if (startsWith(line, "<end>")) break;

    if (startsWith(line, "<model")) {
      depth = 0;
      skipping = false;
      if (r.folderCount >= FolderCapacity) {
        leaveOutFolderTree(true);
        continue;
      }
      const std::string name = attributeValue(line, "name");
      writeOutlineLine(out.get(), 0, name);
      FolderEntry& f = folders[static_cast<size_t>(++r.folderCount)];
      f.Name = name;
      f.Desc = attributeValue(line, "desc");
      f.Pic = attributeValue(line, "pic");
      r.versionSeen = true;
      r.version = attributeValue(line, "vers");
      const std::string disp = attributeValue(line, "disp");
      if (disp == "128") r.pictureHeight = 128;
      if (disp == "160") r.pictureHeight = 160;
      gameStored = false;
      continue;
    }
    if (startsWith(line, "<folder")) {
      ++depth;
      if (skipping) {
        ++r.foldersLeftOut;
        continue;
      }
      if (r.folderCount >= FolderCapacity) {
        leaveOutFolderTree(false);
        continue;
      }
      FolderEntry& f = folders[static_cast<size_t>(++r.folderCount)];
      f.Name = attributeValue(line, "name");
      f.Desc = attributeValue(line, "desc");
      f.Pic = attributeValue(line, "pic");
      writeOutlineLine(out.get(), depth, f.Name);
      gameStored = false;
      continue;
    }
    if (startsWith(line, "</folder")) {
      --depth;
      if (skipping && !skippingModel && depth < skipDepth) skipping = false;
      continue;
    }
    if (startsWith(line, "<game")) {
      if (skipping || r.gameCount >= GameCapacity) {
        ++r.gamesLeftOut;
        gameStored = false;
        continue;
      }
      GameEntry& g = games[static_cast<size_t>(++r.gameCount)];
      g.Name = attributeValue(line, "name");
      writeOutlineLine(out.get(), depth + 1, g.Name);
      gameStored = true;
      continue;
    }
    if (!gameStored) continue;  // detail lines with no stored game to fill
    GameEntry& g = games[static_cast<size_t>(r.gameCount)];
    if (startsWith(line, "<size")) {
      g.Size = ownValue(line, "size");
    } else if (startsWith(line, "<file")) {
      g.File = ownValue(line, "file");
    } else if (startsWith(line, "<screen")) {
      g.Screen = ownValue(line, "screen");
    } else if (startsWith(line, "<owner")) {
      g.Owner = ownValue(line, "owner");
    } else if (startsWith(line, "<desc")) {
      g.Desc = ownValue(line, "desc");
      g.Selected = 0;
    }
  }
  in.reset();
  writeOutlineLine(out.get(), 0, newsNodeText());
  if (std::fflush(out.get()) != 0 || std::ferror(out.get())) throwIoError(errno);
  return r;
}

std::vector<std::string> readOutlineFile(const std::string& path) {
  return splitLines(readFileBytes(path), LineBreaks::Lf);
}

void buildOutlineTree(const std::vector<std::string>& lines, std::vector<TreeNode>& nodes) {
  nodes.clear();
  nodes.reserve(lines.size());
  std::vector<int> level;  // level of each node made
  int last = -1;
  for (const std::string& line : lines) {
    size_t depth = 0;
    while (depth < line.size() && (line[depth] == ' ' || line[depth] == '\t')) ++depth;
    const int lineLevel = static_cast<int>(depth);
    std::string text = line.substr(depth);
    int parent;
    if (last < 0) {
      parent = -1;
    } else if (level[static_cast<size_t>(last)] == lineLevel) {
      parent = nodes[static_cast<size_t>(last)].parent;
    } else if (level[static_cast<size_t>(last)] == lineLevel - 1) {
      parent = last;
    } else if (level[static_cast<size_t>(last)] > lineLevel) {
      int up = nodes[static_cast<size_t>(last)].parent;
      while (up >= 0 && level[static_cast<size_t>(up)] > lineLevel) up = nodes[static_cast<size_t>(up)].parent;
      parent = up < 0 ? -1 : nodes[static_cast<size_t>(up)].parent;
    } else {
      throw QuorrelError("Invalid level (" + std::to_string(lineLevel) + ") for item \"" +
                         fromAnsi(text).toStdString() + "\"");
    }
    nodes.push_back(TreeNode{std::move(text), parent});
    level.push_back(parent < 0 ? 0 : level[static_cast<size_t>(parent)] + 1);
    last = static_cast<int>(nodes.size()) - 1;
  }
}

CatalogueLoad Catalogue::load(const std::string& cataloguePath, const std::string& outlinePath) {
  const CatalogueLoad r = loadCatalogueFile(cataloguePath, outlinePath, folders_, games_);
  folderCount_ = r.folderCount;
  gameCount_ = r.gameCount;
  if (r.versionSeen) baseVersion_ = r.version;
  currentGame_ = 0;
  return r;
}

int Catalogue::firstGameNamed(const std::string& name) const {
  const int count = std::min(gameCount_, GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (games_[static_cast<std::size_t>(i)].Name == name) return i;
  }
  return 0;
}

int Catalogue::lastFolderNamed(const std::string& name) const {
  const int count = std::min(folderCount_, FolderCapacity);
  for (int i = count; i >= 1; --i) {
    if (folders_[static_cast<std::size_t>(i)].Name == name) return i;
  }
  return 0;
}

void Catalogue::setGame(int index, const GameEntry& entry) {
  if (index < 1 || index > GameCapacity) return;
  games_[static_cast<std::size_t>(index)] = entry;
  gameCount_ = std::max(gameCount_, index);
}

void Catalogue::setMark(int index, bool marked) {
  if (index >= 1 && index <= std::min(gameCount_, GameCapacity)) {
    games_[static_cast<std::size_t>(index)].Selected = marked ? 1 : 0;
  }
}

std::vector<int> Catalogue::markedGames() const {
  std::vector<int> marked;
  const int count = std::min(gameCount_, GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (games_[static_cast<std::size_t>(i)].Selected != 0) marked.push_back(i);
  }
  return marked;
}

}  // namespace quorrel
