// The folder-picture list "dir.lst" from the update server: read on its own, and as the catalogue update reads
// it, fetching each picture it names from a loopback server. A name may climb out of the picture folder or
// hold anything else; no picture may land outside the working folder, the list is gone afterwards, and the
// window ends the update idle.
#include <unistd.h>
#include <QTreeWidget>
#include <filesystem>
#include <mutex>

#include "FuzzSupport.h"
#include "app/MainWindow.h"
#include "common/Paths.h"
#include "net/CatalogueUpdate.h"
#include "net/DirList.h"
#include "net/Downloads.h"
#include "settings/Settings.h"

namespace fs = std::filesystem;

namespace {

// The lines of a list before its first "<end>" line: LF ends a line, a CR before it is dropped.
std::vector<std::string> expectedNames(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "<end>") break;
    names.push_back(line);
    start = next;
  }
  return names;
}

std::string ok(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A stored zip archive holding one small catalogue, written byte by byte.
std::string catalogueArchive() {
  const std::string name = "Javadata.xml";
  const std::string data = "<model name=\"M\" disp=\"128\" desc=\"\" vers=\"1\" pic=\"\">\r\n<end>\r\n";
  auto u16 = [](std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 255));
    s.push_back(static_cast<char>(v >> 8 & 255));
  };
  auto u32 = [&](std::string& s, std::uint32_t v) {
    u16(s, v & 0xFFFF);
    u16(s, v >> 16);
  };
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  crc = ~crc;
  std::string local = "PK\x03\x04";
  u16(local, 20), u16(local, 0), u16(local, 0), u16(local, 0), u16(local, 0x5821);
  u32(local, crc), u32(local, static_cast<std::uint32_t>(data.size())),
      u32(local, static_cast<std::uint32_t>(data.size()));
  u16(local, static_cast<unsigned>(name.size())), u16(local, 0);
  local += name + data;
  std::string central = "PK\x01\x02";
  u16(central, 0x0314), u16(central, 20), u16(central, 0), u16(central, 0), u16(central, 0), u16(central, 0x5821);
  u32(central, crc), u32(central, static_cast<std::uint32_t>(data.size())),
      u32(central, static_cast<std::uint32_t>(data.size()));
  u16(central, static_cast<unsigned>(name.size())), u16(central, 0), u16(central, 0), u16(central, 0), u16(central, 0);
  u32(central, 0100644u << 16), u32(central, 0);
  central += name;
  std::string end = "PK\x05\x06";
  u16(end, 0), u16(end, 0), u16(end, 1), u16(end, 1);
  u32(end, static_cast<std::uint32_t>(central.size())), u32(end, static_cast<std::uint32_t>(local.size())), u16(end, 0);
  return local + central + end;
}

std::mutex listMutex;
std::string currentList;
int pictureRequests = 0;

std::string answer(const std::string& requestLine) {
  const auto first = requestLine.find(' ');
  const auto last = requestLine.rfind(' ');
  const std::string path =
      first == std::string::npos || last <= first ? "" : requestLine.substr(first + 1, last - first - 1);
  std::lock_guard<std::mutex> lock(listMutex);
  if (path == "/Javadata.zip") return ok(catalogueArchive());
  if (path == "/Base/dir/dir.lst") return ok(currentList);
  if (path.rfind("/Base/dir/", 0) == 0) {
    ++pictureRequests;
    return ok("GIF89a picture");
  }
  return "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
}

fuzzsupport::LoopbackServer& server() {
  static auto* s = new fuzzsupport::LoopbackServer(answer);
  return *s;
}

// Every file below `root`, relative to it.
std::vector<std::string> filesBelow(const std::string& root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_directory(ec)) files.push_back(fs::relative(it->path(), root, ec).string());
  }
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> names = quorrel::parseDirList(text);
  FUZZ_CHECK(names == expectedNames(text), "the list's names differ from its lines before \"<end>\"");

  MainWindow& window = fuzzsupport::mainWindow();
  const std::string scratch = fuzzsupport::scratchFolder();
  // The update works one level down, so a picture that climbs out of the working folder is seen.
  const std::string work = scratch + "work/";
  fuzzsupport::clearScratchFolder();
  fs::create_directories(work + "Base/dir");
  if (::chdir(work.c_str()) != 0) fuzzsupport::fail("cannot enter " + work);

  // Each picture costs two requests, so the update is given the first few lines only.
  std::size_t cut = 0;
  for (int line = 0; line < 12 && cut < text.size(); ++line) {
    const auto lf = text.find('\n', cut);
    cut = lf == std::string::npos ? text.size() : lf + 1;
  }
  const std::string list = text.substr(0, cut);
  {
    std::lock_guard<std::mutex> lock(listMutex);
    currentList = list;
    pictureRequests = 0;
  }
  window.settings().setUpdateServer(server().base());
  window.settings().setUpdateMode(quorrel::UpdateMode::CatalogueOnly);
  window.settings().setUpdateFolderPictures(true);
  window.downloads().answers().overwriteAll = true;  // a picture named twice is fetched again without a question
  window.guarded([&] { window.catalogueUpdate().updateCatalogue(); });

  FUZZ_CHECK(!window.commandState().busy() && window.catalogueView()->isEnabled(), "the update did not end idle");
  FUZZ_CHECK(!quorrel::fileExists(work + "Base/dir/dir.lst"), "the list was left behind");
  for (const std::string& f : filesBelow(scratch)) {
    FUZZ_CHECK(f.rfind("work/", 0) == 0, "written outside the working folder: " + f);
  }
  {
    std::lock_guard<std::mutex> lock(listMutex);
    FUZZ_CHECK(pictureRequests <= 2 * static_cast<int>(quorrel::parseDirList(list).size()),
               "more pictures requested than the list names");
  }
  if (::chdir(scratch.c_str()) != 0) fuzzsupport::fail("cannot return to " + scratch);
  fuzzsupport::windowPrompter().asked.clear();
  return 0;
}
