#include "catalogue/Catalogue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"

namespace quorrel {

namespace {

struct FdCloser {
  int fd;
  ~FdCloser() { ::close(fd); }
};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a catalogue for reading. A FIFO, a device or a folder is refused before anything is read from it (a
// FIFO would otherwise block until some writer came), and the refusal is an error, never an empty catalogue.
int openRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throwIoError(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throwIoError(err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throwIoError(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Lines of a file read in blocks of a fixed size. Of each line at most MaxLineBytes are kept; the rest of a
// longer line is read past without being stored. A read error is thrown as the file system's error.
class LineReader {
 public:
  LineReader(int fd, const ReadChunk& readChunk, const std::function<void()>& onBlock)
      : fd_(fd), readChunk_(readChunk), onBlock_(onBlock), buf_(64 * 1024) {}

  // The next line, without its LF (and a CR right before it). False at the end of the file. `cut` tells
  // whether the line was longer than what is kept.
  bool next(std::string& line, bool& cut) {
    line.clear();
    cut = false;
    bool any = false;
    bool dropped = false;
    while (pos_ < len_ || fill()) {
      any = true;
      const char* start = buf_.data() + pos_;
      const std::size_t avail = len_ - pos_;
      const auto* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
      const std::size_t take = lf ? static_cast<std::size_t>(lf - start) : avail;
      // One byte more than the limit is kept, so that a CR ending a line of exactly the limit is not a cut.
      const std::size_t room = MaxLineBytes + 1 - line.size();
      if (take > room) dropped = true;
      line.append(start, std::min(take, room));
      pos_ += take;
      if (lf) {
        ++pos_;
        break;
      }
    }
    if (!any) return false;
    if (!dropped && !line.empty() && line.back() == '\r') line.pop_back();
    if (dropped || line.size() > MaxLineBytes) {
      line.resize(std::min(line.size(), MaxLineBytes));
      cut = true;
    }
    return true;
  }

 private:
  bool fill() {
    pos_ = len_ = 0;
    while (true) {
      const long n = readChunk_ ? readChunk_(fd_, buf_.data(), buf_.size()) : ::read(fd_, buf_.data(), buf_.size());
      if (n > 0) {
        len_ = static_cast<std::size_t>(n);
        if (onBlock_) onBlock_();
        return true;
      }
      if (n == 0) return false;
      if (errno != EINTR) throwIoError(errno);
    }
  }

  int fd_;
  const ReadChunk& readChunk_;
  const std::function<void()>& onBlock_;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
};

bool startsWith(const std::string& line, const char* tag) {
  return line.compare(0, std::char_traits<char>::length(tag), tag) == 0;
}

// Where outline lines go: the outline file, or (for the user's own catalogue, which is kept only when it reads
// whole) a buffer written to the file afterwards.
struct OutlineSink {
  std::FILE* file = nullptr;
  std::string* buffer = nullptr;
  int lines = 0;
};

void writeOutlineLine(OutlineSink& out, int depth, const std::string& text) {
  ++out.lines;
  if (out.buffer) {
    out.buffer->append(static_cast<std::size_t>(std::max(depth, 0)), ' ');
    out.buffer->append(text);
    out.buffer->append("\r\n");
    return;
  }
  for (int i = 0; i < depth; ++i) std::fputc(' ', out.file);
  std::fwrite(text.data(), 1, text.size(), out.file);
  std::fputs("\r\n", out.file);
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

namespace {

// What a load reads, kept aside until the whole file has been read: a read error part-way then leaves the
// tables as they were.
struct StagedLoad {
  CatalogueLoad r;
  std::vector<FolderEntry> folders;  // entries 1.. of this load
  std::vector<GameEntry> games;      // entries 1.. of this load, each starting from what its index held
};

// `own`: the user's own catalogue, whose model lines name a root only (the version and the picture height
// are the main catalogue's).
void readCatalogue(LineReader& in, OutlineSink& out, const GameTable& oldGames, StagedLoad& s, bool own) {
  CatalogueLoad& r = s.r;
  int depth = 0;
  // Inside a model or folder that was left out, everything down to its end is left out with it.
  bool skipping = false;
  bool skippingModel = false;
  int skipDepth = 0;
  // Detail lines fill the game of the most recent game line; only a game line that was left out (or none
  // yet) leaves them without a game. Model and folder lines in between do not change that.
  bool gameStored = false;

  auto value = [&r](const std::string& line, const char* word) {
    std::string v = attributeValue(line, word);
    if (v.size() > MaxValueBytes) {
      v.resize(MaxValueBytes);
      ++r.valuesCut;
    }
    return v;
  };
  auto leaveOutFolderTree = [&](bool model) {
    ++r.foldersLeftOut;
    skipping = true;
    skippingModel = model;
    skipDepth = depth;
  };

  std::string line;
  bool cut = false;
  while (in.next(line, cut)) {
    if (cut) ++r.linesCut;
    if (startsWith(line, "<end>")) break;

    if (startsWith(line, "<model")) {
      depth = 0;
      skipping = false;
      if (r.folderCount >= FolderCapacity) {
        leaveOutFolderTree(true);
        continue;
      }
      const std::string name = value(line, "name");
      writeOutlineLine(out, 0, name);
      ++r.folderCount;
      s.folders.push_back(FolderEntry{name, value(line, "desc"), value(line, "pic")});
      if (own) continue;
      r.versionSeen = true;
      r.version = value(line, "vers");
      const std::string disp = value(line, "disp");
      if (disp == "128") r.pictureHeight = 128;
      if (disp == "160") r.pictureHeight = 160;
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
      ++r.folderCount;
      s.folders.push_back(FolderEntry{value(line, "name"), value(line, "desc"), value(line, "pic")});
      writeOutlineLine(out, depth, s.folders.back().name);
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
      ++r.gameCount;
      s.games.push_back(oldGames[static_cast<size_t>(r.gameCount)]);
      s.games.back().name = value(line, "name");
      writeOutlineLine(out, depth + 1, s.games.back().name);
      gameStored = true;
      continue;
    }
    if (!gameStored) continue;  // detail lines with no stored game to fill
    GameEntry& g = s.games.back();
    if (startsWith(line, "<size")) {
      g.size = value(line, "size");
    } else if (startsWith(line, "<file")) {
      g.file = value(line, "file");
    } else if (startsWith(line, "<screen")) {
      g.screen = value(line, "screen");
    } else if (startsWith(line, "<owner")) {
      g.owner = value(line, "owner");
    } else if (startsWith(line, "<desc")) {
      g.description = value(line, "desc");
      g.selected = 0;
    }
  }
}

}  // namespace

CatalogueLoad loadCatalogueFile(const std::string& cataloguePath, const std::string& outlinePath, FolderTable& folders,
                                GameTable& games, const ReadChunk& readChunk, const std::function<void()>& onBlock) {
  return loadCatalogueFiles(cataloguePath, std::string(), outlinePath, folders, games, readChunk, onBlock);
}

namespace {

// Reads the user's own catalogue after the main one. When it cannot be read to its end, everything of it is
// taken back out of the staged load and the reason is kept; the main catalogue stays as read.
void readOwnCatalogue(const std::string& ownPath, OutlineSink& out, const GameTable& games, const ReadChunk& readChunk,
                      const std::function<void()>& onBlock, StagedLoad& staged) {
  const CatalogueLoad before = staged.r;
  const std::size_t folders = staged.folders.size();
  const std::size_t gameEntries = staged.games.size();
  std::string buffer;
  OutlineSink own{nullptr, &buffer, 0};
  try {
    const FdCloser in{openRegularFile(ownPath)};
    LineReader lines(in.fd, readChunk, onBlock);
    readCatalogue(lines, own, games, staged, true);
  } catch (const std::exception& e) {
    staged.r = before;
    staged.r.ownError = e.what();
    staged.folders.resize(folders);
    staged.games.resize(gameEntries);
    return;
  }
  if (own.lines > 0) staged.r.ownFirstNode = out.lines;
  std::fwrite(buffer.data(), 1, buffer.size(), out.file);
  out.lines += own.lines;
}

}  // namespace

CatalogueLoad loadCatalogueFiles(const std::string& cataloguePath, const std::string& ownPath,
                                 const std::string& outlinePath, FolderTable& folders, GameTable& games,
                                 const ReadChunk& readChunk, const std::function<void()>& onBlock) {
  const FdCloser in{openRegularFile(cataloguePath)};
  FilePtr file(std::fopen(outlinePath.c_str(), "wb"));
  if (!file) throwIoError(errno);
  OutlineSink out{file.get(), nullptr, 0};

  StagedLoad staged;
  try {
    LineReader lines(in.fd, readChunk, onBlock);
    readCatalogue(lines, out, games, staged, false);
    staged.r.serverFolderCount = staged.r.folderCount;
    staged.r.serverGameCount = staged.r.gameCount;
    if (!ownPath.empty()) readOwnCatalogue(ownPath, out, games, readChunk, onBlock, staged);
    writeOutlineLine(out, 0, newsNodeText());
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) throwIoError(errno);
  } catch (...) {
    file.reset();
    std::remove(outlinePath.c_str());
    throw;
  }

  for (std::size_t i = 0; i < staged.folders.size(); ++i) folders[i + 1] = std::move(staged.folders[i]);
  for (std::size_t i = 0; i < staged.games.size(); ++i) games[i + 1] = std::move(staged.games[i]);
  return staged.r;
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

CatalogueLoad Catalogue::load(const std::string& cataloguePath, const std::string& outlinePath,
                              const std::function<void()>& onBlock, const std::string& ownPath) {
  const CatalogueLoad r = loadCatalogueFiles(cataloguePath, ownPath, outlinePath, folders_, games_, {}, onBlock);
  folderCount_ = r.folderCount;
  gameCount_ = r.gameCount;
  serverFolderCount_ = r.serverFolderCount;
  serverGameCount_ = r.serverGameCount;
  if (r.versionSeen) baseVersion_ = r.version;
  if (r.pictureHeight == 128 || r.pictureHeight == 160) pictureHeight_ = r.pictureHeight;
  currentGame_ = 0;
  return r;
}

int Catalogue::firstGameNamed(const std::string& name) const {
  const int count = std::min(gameCount_, GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (games_[static_cast<std::size_t>(i)].name == name) return i;
  }
  return 0;
}

int Catalogue::firstGameNamed(const std::string& name, bool own) const {
  const int from = own ? serverGameCount_ + 1 : 1;
  const int to = std::min(own ? gameCount_ : serverGameCount_, GameCapacity);
  for (int i = std::max(from, 1); i <= to; ++i) {
    if (games_[static_cast<std::size_t>(i)].name == name) return i;
  }
  return 0;
}

int Catalogue::lastFolderNamed(const std::string& name) const {
  const int count = std::min(folderCount_, FolderCapacity);
  for (int i = count; i >= 1; --i) {
    if (folders_[static_cast<std::size_t>(i)].name == name) return i;
  }
  return 0;
}

int Catalogue::lastFolderNamed(const std::string& name, bool own) const {
  const int from = own ? serverFolderCount_ + 1 : 1;
  const int to = std::min(own ? folderCount_ : serverFolderCount_, FolderCapacity);
  for (int i = to; i >= std::max(from, 1); --i) {
    if (folders_[static_cast<std::size_t>(i)].name == name) return i;
  }
  return 0;
}

void Catalogue::setGame(int index, const GameEntry& entry) {
  if (index < 1 || index > GameCapacity) return;
  games_[static_cast<std::size_t>(index)] = entry;
  // A catalogue built in memory has no own part: its games all count as the main catalogue's.
  if (serverGameCount_ == gameCount_) serverGameCount_ = std::max(serverGameCount_, index);
  gameCount_ = std::max(gameCount_, index);
}

void Catalogue::setMark(int index, bool marked) {
  if (index >= 1 && index <= std::min(gameCount_, GameCapacity)) {
    games_[static_cast<std::size_t>(index)].selected = marked ? 1 : 0;
  }
}

std::vector<int> Catalogue::markedGames() const {
  std::vector<int> marked;
  const int count = std::min(gameCount_, GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (games_[static_cast<std::size_t>(i)].selected != 0) marked.push_back(i);
  }
  return marked;
}

}  // namespace quorrel
