#include "suites/GameFolder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/Errors.h"

namespace fs = std::filesystem;

namespace quorrel::suites {

namespace {

// Far above any real descriptor.
constexpr std::uint64_t MaxDescriptorBytes = 1024 * 1024;


bool isPlainFile(const fs::directory_entry& e) {
  std::error_code ec;
  return e.symlink_status(ec).type() == fs::file_type::regular;
}

struct Pair {
  fs::path jar, jad;
};

// The .jar/.jad pairs of one folder, and its descriptors that name no archive here; below: its subfolders'.
void pairsIn(const fs::path& dir, bool recurse, std::vector<Pair>& pairs, std::vector<std::string>& strays) {
  std::vector<fs::path> jars, jads, dirs;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& e = *it;
    std::error_code tc;
    if (e.symlink_status(tc).type() == fs::file_type::directory) {
      dirs.push_back(e.path());
      continue;
    }
    if (!isPlainFile(e)) continue;
    const std::string ext = lowerExtension(e.path());
    if (ext == ".jar") jars.push_back(e.path());
    if (ext == ".jad") jads.push_back(e.path());
  }
  if (ec) throw QuorrelError("Папка " + dir.string() + " не читается: " + ec.message() + ".");
  std::sort(jars.begin(), jars.end());
  std::sort(jads.begin(), jads.end());
  std::map<std::string, fs::path> jadByStem;
  for (const fs::path& j : jads) jadByStem[j.stem().string()] = j;
  std::vector<bool> used(jads.size(), false);
  for (const fs::path& jar : jars) {
    Pair p{jar, {}};
    auto it = jadByStem.find(jar.stem().string());
    if (it != jadByStem.end()) p.jad = it->second;
    pairs.push_back(p);
  }
  for (const fs::path& jad : jads) {
    const bool paired = std::any_of(pairs.begin(), pairs.end(), [&](const Pair& p) { return p.jad == jad; });
    if (paired) continue;
    // A descriptor whose MIDlet-Jar-URL names an archive of another name in this folder.
    std::string bytes;
    const Attributes d = readWholeFile(jad.string(), MaxDescriptorBytes, bytes) ? readDescriptor(bytes) : Attributes{};
    const std::string* url = d.find("MIDlet-Jar-URL");
    const std::string name = url ? fs::path(*url).filename().string() : std::string();
    auto jar = std::find_if(pairs.begin(), pairs.end(),
                            [&](const Pair& p) { return p.jad.empty() && !name.empty() && p.jar.filename() == name; });
    if (jar != pairs.end())
      jar->jad = jad;
    else
      strays.push_back("Описатель " + jad.string() + ": рядом нет его архива.");
  }
  if (!recurse) return;
  std::sort(dirs.begin(), dirs.end());
  for (const fs::path& d : dirs) pairsIn(d, true, pairs, strays);
}

}  // namespace

std::string lowerExtension(const fs::path& p) {
  std::string e = p.extension().string();
  for (char& c : e)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return e;
}

bool readWholeFile(const std::string& path, std::uint64_t bound, std::string& bytes) {
  std::error_code ec;
  const auto status = fs::symlink_status(path, ec);
  if (ec || status.type() != fs::file_type::regular) return false;
  const std::uint64_t size = fs::file_size(path, ec);
  if (ec || size > bound) return false;
  std::ifstream in(path, std::ios::binary);
  bytes.assign(static_cast<std::size_t>(size), '\0');
  return in.read(bytes.data(), static_cast<std::streamsize>(size)) && in.gcount() == static_cast<std::streamsize>(size);
}

std::string pictureBeside(const std::string& pathWithoutExtension) {
  const fs::path base(pathWithoutExtension);
  std::error_code ec;
  for (fs::directory_iterator it(base.parent_path().empty() ? "." : base.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!isPlainFile(*it) || it->path().stem() != base.filename()) continue;
    const std::string ext = lowerExtension(it->path());
    if (ext == ".gif" || ext == ".png" || ext == ".jpg" || ext == ".jpeg") return it->path().string();
  }
  return {};
}

FoundSuite readSuite(const std::string& jarPath, const std::string& jadPath, const std::string& folder) {
  FoundSuite s;
  s.jarPath = jarPath;
  s.jadPath = jadPath;
  s.folder = folder;
  s.base = fs::path(jarPath).stem().string();
  s.jar = readJar(s.jarPath);
  if (!s.jar.error.empty()) {
    s.problems.push_back(s.jar.error);
    s.left = s.problems;
    return s;
  }
  const std::string jarName = fs::path(jarPath).filename().string();
  std::string bytes;
  if (s.jadPath.empty()) {
    s.descriptor = makeDescriptor(s.jar.manifest, jarName, s.jar.size);
  } else if (readWholeFile(s.jadPath, MaxDescriptorBytes, bytes)) {
    s.descriptor = readDescriptor(bytes);
  } else {
    s.problems.push_back("Описатель не читается или больше 1 МБ.");
  }
  const std::vector<std::string> found = checkSuite(s.descriptor, s.jar.manifest, s.jar.size);
  s.problems.insert(s.problems.end(), found.begin(), found.end());
  s.fixed = fixDescriptor(s.descriptor, s.jar.manifest, jarName, s.jar.size);
  s.left = checkSuite(s.fixed, s.jar.manifest, s.jar.size);
  return s;
}

std::string jarOfDescriptor(const std::string& jadPath) {
  const fs::path jad(jadPath);
  std::string bytes;
  const Attributes d = readWholeFile(jadPath, MaxDescriptorBytes, bytes) ? readDescriptor(bytes) : Attributes{};
  std::vector<std::string> names;
  if (const std::string* url = d.find("MIDlet-Jar-URL")) names.push_back(fs::path(*url).filename().string());
  names.push_back(jad.stem().string() + ".jar");
  names.push_back(jad.stem().string() + ".JAR");
  for (const std::string& name : names) {
    if (name.empty() || name == "." || name == "..") continue;
    const fs::path jar = jad.parent_path() / name;
    std::error_code ec;
    if (fs::symlink_status(jar, ec).type() == fs::file_type::regular) return jar.string();
  }
  return {};
}

std::string descriptorOfJar(const std::string& jarPath) {
  const fs::path jar(jarPath);
  for (const char* ext : {".jad", ".JAD", ".Jad"}) {
    const fs::path jad = jar.parent_path() / (jar.stem().string() + ext);
    std::error_code ec;
    if (fs::symlink_status(jad, ec).type() == fs::file_type::regular) return jad.string();
  }
  return {};
}

GameFolder scanGameFolder(const std::string& dir, const std::function<void(std::size_t, std::size_t)>& progress) {
  GameFolder folder;
  const fs::path root(dir);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) throw QuorrelError("Папка игр " + dir + " не найдена.");
  std::vector<std::pair<std::string, Pair>> all;  // subfolder name, pair
  {
    std::vector<Pair> top;
    pairsIn(root, false, top, folder.strays);
    for (Pair& p : top) all.emplace_back(std::string(), std::move(p));
  }
  std::vector<fs::path> subdirs;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code tc;
    if (it->symlink_status(tc).type() == fs::file_type::directory) subdirs.push_back(it->path());
  }
  std::sort(subdirs.begin(), subdirs.end());
  for (const fs::path& sub : subdirs) {
    std::vector<Pair> pairs;
    pairsIn(sub, true, pairs, folder.strays);
    if (pairs.empty()) continue;
    folder.subfolders.push_back(sub.filename().string());
    for (Pair& p : pairs) all.emplace_back(sub.filename().string(), std::move(p));
  }
  std::size_t done = 0;
  for (auto& [sub, pair] : all) {
    folder.suites.push_back(readSuite(pair.jar.string(), pair.jad.string(), sub));
    if (progress) progress(++done, all.size());
  }
  return folder;
}

}  // namespace quorrel::suites
