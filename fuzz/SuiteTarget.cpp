// A suite's descriptor and manifest as any bytes: the readers never fail, a descriptor written back reads the
// same, and mending removes every problem the manifest allows to be mended.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "suites/Suite.h"

using namespace quorrel::suites;

namespace {

bool same(const Attributes& a, const Attributes& b) {
  if (a.list().size() != b.list().size()) return false;
  for (std::size_t i = 0; i < a.list().size(); ++i)
    if (a.list()[i].name != b.list()[i].name || a.list()[i].value != b.list()[i].value) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::uint64_t jarSize = in.ConsumeIntegral<std::uint32_t>();
  const std::string manifestBytes = in.ConsumeRandomLengthString(4096);
  const std::string descriptorBytes = in.ConsumeRemainingBytesAsString();
  const Attributes manifest = readManifest(manifestBytes);
  const Attributes descriptor = readDescriptor(descriptorBytes);
  FUZZ_CHECK(same(readDescriptor(writeDescriptor(descriptor)), descriptor), "a descriptor written back reads otherwise");

  checkSuite(descriptor, manifest, jarSize);
  const Attributes fixed = fixDescriptor(descriptor, manifest, "game.jar", jarSize);
  const std::vector<std::string> left = checkSuite(fixed, manifest, jarSize);
  // What mending cannot reach: the manifest's own identity and the attributes neither file has.
  bool manifestWhole = true;
  for (const char* name : {"MIDlet-Name", "MIDlet-Version", "MIDlet-Vendor", "MIDlet-1", "MicroEdition-Profile",
                           "MicroEdition-Configuration"})
    manifestWhole = manifestWhole && manifest.find(name) != nullptr;
  const std::string* version = manifest.find("MIDlet-Version");
  const bool versionOk = version && checkSuite(makeDescriptor(manifest, "game.jar", jarSize), manifest, jarSize).empty();
  if (manifestWhole && versionOk) FUZZ_CHECK(left.empty(), "mending left a problem it could remove: " + left.front());
  return 0;
}
