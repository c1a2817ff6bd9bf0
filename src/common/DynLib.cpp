#include "common/DynLib.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/Paths.h"

#ifndef QUORREL_INSTALLED_LIBDIR
#define QUORREL_INSTALLED_LIBDIR ""
#endif

namespace quorrel {

namespace {

void* tryOpen(const std::string& path, std::string& error) {
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = ::dlerror();
    error = e ? e : "cannot load " + path;
  }
  return h;
}

std::string resolved(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

std::string withSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start <= list.size()) {
    const auto colon = std::min(list.find_first_of(":;", start), list.size());
    parts.push_back(list.substr(start, colon - start));
    start = colon + 1;
  }
  return parts;
}

// The folders the dynamic loader itself would search for a bare name: LD_LIBRARY_PATH as it stands now, then
// the executable's run path and the system's default folders as the loader reports them. An empty or
// relative entry stays in the list so that the search can pass over it.
std::vector<std::string> systemSearchFolders() {
  std::vector<std::string> folders;
  if (const char* p = std::getenv("LD_LIBRARY_PATH"); p && *p) folders = split(p);
  void* self = ::dlopen(nullptr, RTLD_LAZY);
  if (!self) return folders;
  Dl_serinfo size{};
  if (::dlinfo(self, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    std::vector<unsigned char> buffer(size.dls_size);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.data());
    *info = size;
    if (::dlinfo(self, RTLD_DI_SERINFO, info) == 0) {
      for (unsigned i = 0; i < info->dls_cnt; ++i) {
        // LD_LIBRARY_PATH as the loader read it at start-up is already covered by the entries above.
        if (info->dls_serpath[i].dls_flags == LA_SER_LIBPATH) continue;
        folders.emplace_back(info->dls_serpath[i].dls_name);
      }
    }
  }
  ::dlclose(self);
  return folders;
}

}  // namespace

bool liesInside(const std::string& path, const std::string& folder) {
  const std::string p = resolved(path);
  std::string f = resolved(folder);
  if (f.size() > 1 && f.back() == '/') f.pop_back();
  if (f == "/") return true;
  return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/');
}

DynLib::~DynLib() { close(); }

std::vector<std::string> DynLib::searchFolders(const std::string& exeDir, const std::string& workDir,
                                               const std::vector<std::string>& systemFolders) {
  std::vector<std::string> candidates;
  if (!exeDir.empty()) {
    candidates.push_back(withSlash(exeDir));
    candidates.push_back(withSlash(exeDir) + "../lib/quorrel/");
  }
  if (*QUORREL_INSTALLED_LIBDIR) candidates.push_back(withSlash(QUORREL_INSTALLED_LIBDIR));
  for (const std::string& folder : systemFolders) {
    if (!folder.empty()) candidates.push_back(withSlash(folder));
  }

  std::vector<std::string> folders;
  for (const std::string& folder : candidates) {
    if (folder[0] != '/' || !directoryExists(folder) || liesInside(folder, workDir)) continue;
    const std::string real = withSlash(resolved(folder));
    if (std::find(folders.begin(), folders.end(), real) == folders.end()) folders.push_back(real);
  }
  return folders;
}

bool DynLib::open(const std::string& name) {
  close();
  error_.clear();
  const std::string workDir = currentDir();
  if (name.find('/') != std::string::npos) {
    const std::string path = name[0] == '/' ? name : workDir + name;
    if (liesInside(path, workDir)) {
      error_ = path + " lies inside the working folder " + workDir + ", where updates unpack what a server sent";
      return false;
    }
    handle_ = tryOpen(path, error_);
    return handle_ != nullptr;
  }
  for (const std::string& folder : searchFolders(executableDir(), workDir, systemSearchFolders())) {
    const std::string candidate = folder + name;
    // Checked again through links: the file itself may point back into the working folder.
    if (!fileExists(candidate) || liesInside(candidate, workDir)) continue;
    handle_ = tryOpen(candidate, error_);
    if (handle_) return true;
  }
  const std::string besideProgram = executableDir() + name;
  if (!executableDir().empty() && fileExists(besideProgram) && liesInside(besideProgram, workDir)) {
    // Said plainly, since the program's own copy is there: starting from another folder cures it.
    error_ = besideProgram + " is not loaded, since it lies inside the working folder " + workDir +
             ", where updates unpack what a server sent; start Quorrel from another folder";
    std::fprintf(stderr, "Quorrel: %s\n", error_.c_str());
  } else if (error_.empty()) {
    error_ = name +
             " was not found in the program's folder, its private library folder or the system's library "
             "folders outside the working folder " +
             workDir;
  }
  return false;
}

void DynLib::close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

void* DynLib::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace quorrel
