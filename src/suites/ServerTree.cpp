#include "suites/ServerTree.h"

#include <zip.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "common/Errors.h"
#include "suites/CatalogueWriter.h"
#include "suites/GameFolder.h"
#include "suites/GifPicture.h"

namespace fs = std::filesystem;

namespace quorrel::suites {

namespace {

void writeFile(const fs::path& path, const std::string& bytes) {
  const fs::path part = path.string() + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw QuorrelError("Не могу записать " + part.string() + ".");
  }
  std::error_code ec;
  fs::rename(part, path, ec);
  if (ec) throw QuorrelError("Не могу записать " + path.string() + ": " + ec.message() + ".");
}

void copyFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const fs::path part = to.string() + ".part";
  fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(part, to, ec);
  if (ec) throw QuorrelError("Не могу скопировать " + from.string() + ": " + ec.message() + ".");
}

std::string today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%Y.%m.%d", &tm);
  return text;
}

std::string crlf(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r') continue;
    if (utf8[i] == '\n') out += "\r\n";
    else out += utf8[i];
  }
  if (!out.empty() && out.compare(out.size() - std::min<std::size_t>(2, out.size()), 2, "\r\n") != 0) out += "\r\n";
  return out;
}

void writeArchive(const fs::path& path, const std::string& catalogue) {
  const std::string part = path.string() + ".part";
  std::error_code ec;
  fs::remove(part, ec);
  int code = 0;
  zip_t* z = zip_open(part.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!z) throw QuorrelError("Не могу создать " + part + ".");
  zip_source_t* src = zip_source_buffer(z, catalogue.data(), catalogue.size(), 0);
  if (!src || zip_file_add(z, "Javadata.xml", src, ZIP_FL_ENC_CP437) < 0) {
    if (src) zip_source_free(src);
    zip_discard(z);
    throw QuorrelError("Не могу записать Javadata.xml в " + part + ".");
  }
  if (zip_close(z) != 0) {
    const std::string why = zip_strerror(z);
    zip_discard(z);
    throw QuorrelError("Не могу записать " + part + ": " + why + ".");
  }
  fs::rename(part, path, ec);
  if (ec) throw QuorrelError("Не могу записать " + path.string() + ": " + ec.message() + ".");
}

// A screenshot or folder picture as a GIF in `to`: a GIF as it is, anything else converted. False with a note
// when the picture cannot serve.
bool placePicture(const std::string& from, const std::string& bytesGiven, int height, const fs::path& to,
                  std::vector<std::string>& notes) {
  std::string bytes = bytesGiven;
  if (bytes.empty() && !readWholeFile(from, MaxPictureBytes, bytes)) {
    notes.push_back(from + ": картинка не читается или больше 4 МБ, не взята.");
    return false;
  }
  if (isGif(bytes)) {
    writeFile(to, bytes);
    return true;
  }
  std::string gif, error;
  if (!pictureAsGif(bytes, height, gif, error)) {
    notes.push_back(from + ": " + error + " Не взята.");
    return false;
  }
  writeFile(to, gif);
  return true;
}

void checkOutDir(const fs::path& games, const fs::path& out) {
  std::error_code ec;
  const fs::path g = fs::weakly_canonical(games, ec);
  const fs::path o = fs::weakly_canonical(out, ec);
  for (fs::path p = o; !p.empty(); p = p.parent_path()) {
    if (p == g) throw QuorrelError("Папка дерева " + out.string() + " не может лежать в папке игр.");
    if (p == p.parent_path()) break;
  }
  if (!fs::exists(out, ec)) return;
  if (!fs::is_directory(out, ec)) throw QuorrelError(out.string() + " — не папка.");
  const bool empty = fs::directory_iterator(out, ec) == fs::directory_iterator();
  const bool ours = fs::is_regular_file(out / "Javadata.zip", ec) && fs::is_directory(out / "Base", ec);
  if (!empty && !ours)
    throw QuorrelError("Папка " + out.string() +
                       " не пуста и не похожа на дерево сервера (в ней нет Javadata.zip и Base/): выберите другую.");
}

// Removes the files of an earlier build that this one did not write.
void removeStale(const fs::path& dir, const std::set<std::string>& written) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code tc;
    if (it->symlink_status(tc).type() != fs::file_type::regular) continue;
    if (!written.count(it->path().filename().string())) fs::remove(it->path(), tc);
  }
}

}  // namespace

BuildReport buildServerTree(const std::string& gamesDir, const std::string& outDir, const BuildOptions& options) {
  if (options.pictureHeight != 128 && options.pictureHeight != 160)
    throw QuorrelError("Высота картинок — 128 или 160 точек.");
  const fs::path out(outDir);
  checkOutDir(gamesDir, out);
  const GameFolder found = scanGameFolder(gamesDir, options.progress);
  BuildReport report;
  for (const std::string& s : found.strays) report.leftOut.push_back(s);

  const fs::path base = out / "Base";
  std::error_code ec;
  for (const char* sub : {"games", "screen", "dir"}) {
    fs::create_directories(base / sub, ec);
    if (ec) throw QuorrelError("Не могу создать " + (base / sub).string() + ": " + ec.message() + ".");
  }

  std::vector<const FoundSuite*> usable;
  for (const FoundSuite& s : found.suites) {
    if (!s.left.empty()) {
      std::string why;
      for (const std::string& p : s.left) why += (why.empty() ? "" : " ") + p;
      report.leftOut.push_back(s.jarPath + ": " + why);
      continue;
    }
    usable.push_back(&s);
  }
  std::vector<std::string> wanted;
  for (const FoundSuite* s : usable) wanted.push_back(s->base);
  const std::vector<std::string> files = safeFileNames(wanted);

  std::set<std::string> gamesWritten, screensWritten{"noscr.gif"}, dirWritten{"template.gif", "news.gif", "dir.lst"};
  CatalogueModel model;
  model.name = options.model;
  model.version = options.version.empty() ? today() : options.version;
  model.pictureHeight = options.pictureHeight;
  model.pic = "template";
  if (const std::string pic = pictureBeside((fs::path(gamesDir) / "model").string()); !pic.empty())
    if (placePicture(pic, {}, options.pictureHeight, base / "dir" / "model.gif", report.notes)) {
      model.pic = "model";
      dirWritten.insert("model.gif");
    }
  std::map<std::string, std::size_t> folderIndex;
  for (std::size_t i = 0; i < found.subfolders.size(); ++i) {
    CatalogueFolder f;
    f.name = found.subfolders[i];
    f.pic = "template";
    const fs::path sub = fs::path(gamesDir) / found.subfolders[i];
    std::string desc;
    if (readWholeFile((sub / "folder.txt").string(), 64 * 1024, desc)) f.desc = desc;
    if (const std::string pic = pictureBeside((sub / "folder").string()); !pic.empty()) {
      const std::string name = "folder" + std::to_string(i + 1);
      if (placePicture(pic, {}, options.pictureHeight, base / "dir" / (name + ".gif"), report.notes)) {
        f.pic = name;
        dirWritten.insert(name + ".gif");
      }
    }
    folderIndex[f.name] = model.folders.size();
    model.folders.push_back(std::move(f));
  }

  for (std::size_t i = 0; i < usable.size(); ++i) {
    const FoundSuite& s = *usable[i];
    const std::string& file = files[i];
    Attributes descriptor = s.fixed;
    // On the phone the pair is named File_suite.jad and File_suite.jar; the descriptor names the archive beside
    // it there.
    descriptor.set("MIDlet-Jar-URL", file + "_suite.jar");
    if (!s.problems.empty()) {
      std::string what;
      for (const std::string& p : s.problems) what += (what.empty() ? "" : " ") + p;
      report.notes.push_back(s.jarPath + ": описатель исправлен в дереве (" + what + ")");
    }
    copyFile(s.jarPath, base / "games" / (file + ".jar"));
    writeFile(base / "games" / (file + ".jad"), writeDescriptor(descriptor));
    gamesWritten.insert(file + ".jar");
    gamesWritten.insert(file + ".jad");

    CatalogueGame g;
    g.name = *descriptor.find("MIDlet-Name");
    g.size = std::to_string(s.jar.size);
    g.file = file;
    g.owner = *descriptor.find("MIDlet-Vendor");
    if (const std::string* d = descriptor.find("MIDlet-Description")) g.desc = *d;
    else if (const std::string* m = s.jar.manifest.find("MIDlet-Description")) g.desc = *m;
    g.screen = "noscr.gif";
    const fs::path shot = base / "screen" / (file + ".gif");
    const std::string beside = pictureBeside((fs::path(s.jarPath).parent_path() / s.base).string());
    if ((!beside.empty() && placePicture(beside, {}, options.pictureHeight, shot, report.notes)) ||
        (beside.empty() && !s.jar.icon.empty() &&
         placePicture(s.jarPath + " (значок)", s.jar.icon, options.pictureHeight, shot, report.notes))) {
      g.screen = file + ".gif";
      screensWritten.insert(g.screen);
    }
    if (s.folder.empty()) model.games.push_back(std::move(g));
    else model.folders[folderIndex.at(s.folder)].games.push_back(std::move(g));
  }
  const std::size_t gameCount = usable.size();
  if (options.modelDesc.empty())
    model.desc = "Игры для " + options.model + ": " + std::to_string(gameCount) + ".";
  else
    model.desc = options.modelDesc;

  const WrittenCatalogue catalogue = writeCatalogue(model, outDir);
  report.notes.insert(report.notes.end(), catalogue.notes.begin(), catalogue.notes.end());
  report.leftOut.insert(report.leftOut.end(), catalogue.refused.begin(), catalogue.refused.end());
  report.games = gameCount - catalogue.refused.size();

  // The host's own pictures for these when the games' folder has them (noscr.gif, template.gif, news.gif at
  // its top), else drawn ones.
  const auto placeholder = [&](const char* name, Placeholder kind, const fs::path& to) {
    const std::string own = (fs::path(gamesDir) / name).string();
    if (!fs::exists(own, ec) || !placePicture(own, {}, options.pictureHeight, to, report.notes))
      writeFile(to, placeholderGif(kind, options.pictureHeight));
  };
  placeholder("noscr.gif", Placeholder::NoScreenshot, base / "screen" / "noscr.gif");
  placeholder("template.gif", Placeholder::Folder, base / "dir" / "template.gif");
  placeholder("news.gif", Placeholder::News, base / "dir" / "news.gif");
  std::string list;
  for (const std::string& name : dirWritten)
    if (name != "dir.lst") list += name.substr(0, name.size() - 4) + "\r\n";
  writeFile(base / "dir" / "dir.lst", list + "<end>\r\n");
  const std::string news = options.news.empty()
                               ? "Каталог " + options.model + ", версия " + model.version + ": игр — " +
                                     std::to_string(report.games) + "."
                               : options.news;
  writeFile(base / "news.new", ansiText(crlf(news)));
  removeStale(base / "games", gamesWritten);
  removeStale(base / "screen", screensWritten);
  removeStale(base / "dir", dirWritten);
  writeArchive(out / "Javadata.zip", catalogue.bytes);
  return report;
}

}  // namespace quorrel::suites
