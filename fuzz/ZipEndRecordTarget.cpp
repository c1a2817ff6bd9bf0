// The search for the zip end record, which looks back at most 65,535 bytes from the end of the file. The
// input's first three bytes say how far the rest is pushed back from the start by filler (the rest repeated),
// so the search meets signatures on both sides of its window; the component must find exactly the one that
// a plain backward scan finds.
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "net/ZipExtractor.h"

namespace {

const std::string Signature("PK\x05\x06", 4);

long long expectedPosition(const std::string& f) {
  const long long size = static_cast<long long>(f.size());
  if (size < 22) return -1;
  if (f.compare(static_cast<std::size_t>(size - 22), 4, Signature) == 0) return size - 22;
  const long long span = std::min<long long>(size, 65535);
  for (long long i = span - 22; i >= 0; --i) {
    if (f.compare(static_cast<std::size_t>(size - span + i), 4, Signature) == 0) return size - span + i;
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  fuzzsupport::enterScratchFolder();
  fuzzsupport::ensureApplication();
  static fuzzsupport::RecordingPrompter prompter;
  static ZipExtractor zip(nullptr, &prompter);

  const std::size_t filler = (data[0] | data[1] << 8 | data[2] << 16) % 140000;
  const std::string rest(reinterpret_cast<const char*>(data) + 3, size - 3);
  std::string bytes;
  bytes.reserve(filler + rest.size());
  while (bytes.size() < filler) bytes.append(rest.empty() ? std::string(1, 'Z') : rest);
  bytes.resize(filler);
  bytes += rest;
  const std::string path = fuzzsupport::scratchFolder() + "end.zip";
  fuzzsupport::writeBytes(path, bytes);

  prompter.asked.clear();
  const long long expected = expectedPosition(bytes);
  std::string error;
  try {
    zip.setZipFileName(path);
  } catch (const ZipException& e) {
    error = e.what();
  }
  if (expected < 0) {
    FUZZ_CHECK(error == "\"" + path + "\"\nis not a valid Zip file.", "no end record, yet: " + error);
    return 0;
  }
  // Found: the record is read at that place unless its own fields make it invalid.
  if (error.empty() || error == "Error reading 'CentralFileHeader'!") {
    FUZZ_CHECK(zip.endRecord.position == expected,
               "end record at " + std::to_string(zip.endRecord.position) + ", expected " + std::to_string(expected));
  } else {
    EndRecord rec{};
    const std::size_t at = static_cast<std::size_t>(expected);
    std::memcpy(&rec, bytes.data() + at, std::min<std::size_t>(sizeof rec, bytes.size() - at));
    FUZZ_CHECK(rec.thisDiskNo > 1000 || rec.centralDiskNo > 1000 || rec.centralSize > 1024000,
               "a sound end record was refused: " + error);
  }
  return 0;
}
