// The zip component's reading of an archive's directory when ZipFileName is set: the end record, the
// archive comment and every central header. A damaged archive gives one of the component's errors and no
// entries; the archive itself is never changed by being listed.
#include "FuzzSupport.h"
#include "net/ZipExtractor.h"

using fuzzsupport::fail;

namespace {

bool knownError(const std::string& text, const std::string& path) {
  return text == "\"" + path + "\"\nis not a valid Zip file." || text == "Error reading 'CentralFileHeader'!";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::enterScratchFolder();
  fuzzsupport::ensureApplication();
  static fuzzsupport::RecordingPrompter prompter;
  static ZipExtractor zip(nullptr, &prompter);
  const std::string path = fuzzsupport::scratchFolder() + "archive.zip";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzzsupport::writeBytes(path, bytes);

  try {
    zip.setZipFileName(path);
  } catch (const ZipException& e) {
    FUZZ_CHECK(knownError(e.what(), path), std::string("unexpected error: ") + e.what());
    FUZZ_CHECK(zip.Entries.empty(), "a failed read left entries");
  }
  FUZZ_CHECK(fuzzsupport::readBytes(path) == bytes, "listing the archive changed it");

  if (!zip.Entries.empty()) {
    const EndRecord& rec = zip.EOCH.Record;
    FUZZ_CHECK(zip.Entries.size() == rec.TotalEntries, "entry count differs from the end record");
    FUZZ_CHECK(zip.EOCH.Position >= 0 && static_cast<std::size_t>(zip.EOCH.Position) + 22 <= size,
               "end record position outside the file");
    FUZZ_CHECK(bytes.compare(static_cast<std::size_t>(zip.EOCH.Position), 4, "PK\x05\x06") == 0,
               "end record position does not hold its signature");
    for (const ZipEntry& info : zip.Entries) {
      FUZZ_CHECK(info.Header.Signature == CentralFileHeaderSignature, "entry without a central signature");
      FUZZ_CHECK(info.ExtraField.size() == info.Header.ExtraLength, "extra field of the wrong length");
      FUZZ_CHECK(info.Encrypted == (info.Header.Flag & 1), "encryption flag not taken from the header");
      if (!zip.OemNames) FUZZ_CHECK(info.MemberName.size() == info.Header.FileNameLength, "name of wrong length");
    }
  }
  // Extracting with no entries must not even load the library.
  if (zip.Entries.empty()) FUZZ_CHECK(zip.Extract() == 0, "extracting an empty listing did something");
  prompter.asked.clear();
  return 0;
}
