// A damaged or hostile archive unpacked as the catalogue update unpacks one: the zip component lists it and
// the unzip library (loaded with dlopen, as in the application) writes its members into a destination
// folder. Whatever the archive holds, nothing may be written beside the destination, and the archive itself
// stays as it was.
#include <unistd.h>

#include <filesystem>

#include "FuzzSupport.h"
#include "net/ZipExtractor.h"

namespace fs = std::filesystem;

namespace {

fuzzsupport::RecordingPrompter prompter;

// One component for the whole run: destroying it would release the library.
ZipExtractor& component() {
  static ZipExtractor* zip = new ZipExtractor(nullptr, &prompter);
  return *zip;
}

}  // namespace

// The library is loaded before fuzzing starts, so the fuzzer counts its coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::enterScratchFolder();
  fuzzsupport::ensureApplication();
  if (!component().loadUnzipLibrary()) fuzzsupport::fail("the unzip library cannot be loaded");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ZipExtractor& zip = component();
  fuzzsupport::clearScratchFolder();
  const std::string root = fuzzsupport::scratchFolder();
  // The destination lies two levels down, so a member climbing out by one or two levels is seen here.
  const std::string dest = root + "a/dest/";
  fs::create_directories(dest);
  const std::string archive = root + "Javadata.zip";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzzsupport::writeBytes(archive, bytes);

  try {
    zip.setZipFileName(archive);
    zip.extractDir = dest;
    zip.extractOptions = ZipExtractor::UpdateOlder;
    zip.showProgressDialog = false;
    zip.extract();
  } catch (const ZipException&) {
    // a damaged directory: reported, nothing unpacked
  }
  if (::chdir(root.c_str()) != 0) fuzzsupport::fail("cannot return to the scratch folder");

  FUZZ_CHECK(fuzzsupport::readBytes(archive) == bytes, "unpacking changed the archive");
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string p = it->path().string();
    if (p.rfind(dest, 0) == 0) {
      // Inside the destination only plain files and folders, and no file anybody may run.
      const fs::file_status st = it->symlink_status(ec);
      FUZZ_CHECK(fs::is_regular_file(st) || fs::is_directory(st), "a member was written as a link or the like");
      FUZZ_CHECK(!fs::is_regular_file(st) ||
                     (st.permissions() & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec |
                                          fs::perms::set_uid | fs::perms::set_gid)) == fs::perms::none,
                 "a member was written with execute or set-id bits");
      continue;
    }
    if (p == archive || p == root + "a" || p == root + "a/dest") continue;
    fuzzsupport::fail("written outside the destination: " + p);
  }
  // The seeds hold a member with this absolute path.
  FUZZ_CHECK(!fs::exists("/quorrel-fuzz-absolute"), "a member with an absolute path was written");
  prompter.asked.clear();
  return 0;
}
