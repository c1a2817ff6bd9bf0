#pragma once
// A MIDlet suite as a phone meets it: the attributes of the .jar's manifest and of the .jad descriptor, read
// from their bytes, and the checks a phone makes before it installs. No widgets and no catalogue here.
#include <cstdint>
#include <string>
#include <vector>

namespace quorrel::suites {

struct Attribute {
  std::string name;
  std::string value;  // UTF-8, blanks around it removed
};

class Attributes {
 public:
  // The value of the first attribute of that name (names compare exactly, as a phone compares them), or null.
  const std::string* find(const std::string& name) const;
  // Replaces the first attribute of that name, or appends it.
  void set(const std::string& name, const std::string& value);
  void add(Attribute a) { list_.push_back(std::move(a)); }
  const std::vector<Attribute>& list() const { return list_; }
  bool empty() const { return list_.empty(); }

 private:
  std::vector<Attribute> list_;
};

// The main section of META-INF/MANIFEST.MF: "Name: value" lines up to the first empty line, CR LF or LF; a line
// that begins with one blank continues the line before it (the blank dropped). A UTF-8 byte-order mark is read
// past. Lines without a colon are left out.
Attributes readManifest(const std::string& bytes);
// A .jad: "Name: value" lines, CR LF or LF, UTF-8, a byte-order mark read past; blank lines and lines without a
// colon are left out. The value is everything after the first colon (URLs keep theirs).
Attributes readDescriptor(const std::string& bytes);
// The descriptor text of these attributes: "Name: value" lines ending in CR LF, UTF-8.
std::string writeDescriptor(const Attributes& attributes);

// What a .jar holds that a catalogue needs. `error` is empty when the archive and its manifest were read.
struct Jar {
  std::string error;          // one sentence: why the archive cannot serve as a suite
  std::uint64_t size = 0;     // bytes of the .jar file
  Attributes manifest;
  std::string icon;           // bytes of the member MIDlet-Icon (or MIDlet-1's icon) names, when there is one
};
// Reads a .jar with libzip. Members are read only up to a bound (a manifest or icon larger than any real one
// is refused), so a hostile archive costs little.
Jar readJar(const std::string& path);

// The problems a phone would refuse the suite for, one plain sentence each; empty when it would install.
// jarSize is the .jar's size in bytes.
std::vector<std::string> checkSuite(const Attributes& descriptor, const Attributes& manifest, std::uint64_t jarSize);

// A descriptor for a .jar that comes alone: the manifest's attributes, with MIDlet-Jar-URL the .jar's file name
// and MIDlet-Jar-Size its size.
Attributes makeDescriptor(const Attributes& manifest, const std::string& jarFileName, std::uint64_t jarSize);
// The descriptor corrected so that checkSuite finds nothing it can mend: the identity (name, version, vendor)
// and whatever the descriptor lacks taken from the manifest, the size and URL from the .jar. Attributes of its
// own that are sound are kept in their order.
Attributes fixDescriptor(const Attributes& descriptor, const Attributes& manifest, const std::string& jarFileName,
                         std::uint64_t jarSize);

}  // namespace quorrel::suites
