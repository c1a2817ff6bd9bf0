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
    FUZZ_CHECK(zip.entries.empty(), "a failed read left entries");
  }
  FUZZ_CHECK(fuzzsupport::readBytes(path) == bytes, "listing the archive changed it");

  if (!zip.entries.empty()) {
    const EndRecord& rec = zip.endRecord.record;
    FUZZ_CHECK(zip.entries.size() == rec.totalEntries, "entry count differs from the end record");
    FUZZ_CHECK(zip.endRecord.position >= 0 && static_cast<std::size_t>(zip.endRecord.position) + 22 <= size,
               "end record position outside the file");
    FUZZ_CHECK(bytes.compare(static_cast<std::size_t>(zip.endRecord.position), 4, "PK\x05\x06") == 0,
               "end record position does not hold its signature");
    for (const ZipEntry& info : zip.entries) {
      FUZZ_CHECK(info.header.signature == CentralFileHeaderSignature, "entry without a central signature");
      FUZZ_CHECK(info.extraField.size() == info.header.extraLength, "extra field of the wrong length");
      FUZZ_CHECK(info.encrypted == (info.header.flag & 1), "encryption flag not taken from the header");
      if (!zip.oemNames) FUZZ_CHECK(info.memberName.size() == info.header.fileNameLength, "name of wrong length");
    }
  }
  // Extracting with no entries must not even load the library.
  if (zip.entries.empty()) FUZZ_CHECK(zip.extract() == 0, "extracting an empty listing did something");
  prompter.asked.clear();
  return 0;
}
