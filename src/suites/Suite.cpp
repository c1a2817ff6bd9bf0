#include "suites/Suite.h"

#include <zip.h>

#include <cctype>
#include <memory>

namespace quorrel::suites {

namespace {

constexpr const char* ManifestMember = "META-INF/MANIFEST.MF";
// Far above any real manifest or suite icon; a member past it is taken for an attack, not read.
constexpr zip_uint64_t MaxManifestBytes = 1024 * 1024;
constexpr zip_uint64_t MaxIconBytes = 4 * 1024 * 1024;

std::string trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> linesOf(const std::string& bytes) {
  std::size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::vector<std::string> lines;
  while (at < bytes.size()) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

void addLine(Attributes& to, const std::string& line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return;
  std::string name = trimmed(line.substr(0, colon));
  // A byte-order mark at the start of a later line (files joined by hand) belongs to no name.
  while (name.compare(0, 3, "\xEF\xBB\xBF") == 0) name = trimmed(name.substr(3));
  if (name.empty()) return;
  to.add({std::move(name), trimmed(line.substr(colon + 1))});
}

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};

// The member's bytes, or an error sentence; a member larger than `bound` is refused unread.
bool readMember(zip_t* z, zip_int64_t index, zip_uint64_t bound, std::string& bytes, std::string& error) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(z, static_cast<zip_uint64_t>(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
    error = "Архив не читается.";
    return false;
  }
  if (st.size > bound) {
    error = std::string("Файл ") + st.name + " в архиве больше " + std::to_string(bound / 1024) + " КБ.";
    return false;
  }
  zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(index), 0);
  if (!f) {
    error = std::string("Файл ") + st.name + " в архиве не читается: " + zip_strerror(z) + ".";
    return false;
  }
  bytes.assign(static_cast<std::size_t>(st.size), '\0');
  const zip_int64_t got = zip_fread(f, bytes.data(), st.size);
  // A member whose data runs past its stated size is as damaged as one that ends early.
  char extra;
  const bool whole = got == static_cast<zip_int64_t>(st.size) && zip_fread(f, &extra, 1) == 0;
  zip_fclose(f);
  if (!whole) {
    error = std::string("Файл ") + st.name + " в архиве повреждён.";
    return false;
  }
  return true;
}

std::string iconMember(const Attributes& manifest) {
  std::string icon;
  if (const std::string* v = manifest.find("MIDlet-Icon")) {
    icon = *v;
  } else if (const std::string* first = manifest.find("MIDlet-1")) {
    // "Name, icon, class"
    const std::size_t a = first->find(',');
    const std::size_t b = a == std::string::npos ? a : first->find(',', a + 1);
    if (b != std::string::npos) icon = trimmed(first->substr(a + 1, b - a - 1));
  }
  while (!icon.empty() && icon.front() == '/') icon.erase(0, 1);
  return icon;
}

bool isVersion(const std::string& v) {
  // major.minor[.micro], each part decimal digits
  int parts = 0;
  std::size_t at = 0;
  while (true) {
    const std::size_t start = at;
    while (at < v.size() && std::isdigit(static_cast<unsigned char>(v[at]))) ++at;
    if (at == start) return false;
    ++parts;
    if (at == v.size()) return parts >= 2 && parts <= 3;
    if (v[at] != '.') return false;
    ++at;
  }
}

bool isDecimal(const std::string& s) {
  if (s.empty() || s.size() > 19) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

const char* const Identity[] = {"MIDlet-Name", "MIDlet-Version", "MIDlet-Vendor"};
const char* const DescriptorOnly[] = {"MIDlet-Jar-URL", "MIDlet-Jar-Size"};
const char* const InEither[] = {"MIDlet-1", "MicroEdition-Profile", "MicroEdition-Configuration"};

}  // namespace

const std::string* Attributes::find(const std::string& name) const {
  for (const Attribute& a : list_)
    if (a.name == name) return &a.value;
  return nullptr;
}

void Attributes::set(const std::string& name, const std::string& value) {
  for (Attribute& a : list_)
    if (a.name == name) {
      a.value = value;
      return;
    }
  list_.push_back({name, value});
}

Attributes readManifest(const std::string& bytes) {
  Attributes out;
  std::string pending;
  for (const std::string& line : linesOf(bytes)) {
    if (line.empty()) break;  // the main section ends here
    if (line[0] == ' ') {
      pending += line.substr(1);
      continue;
    }
    if (!pending.empty()) addLine(out, pending);
    pending = line;
  }
  if (!pending.empty()) addLine(out, pending);
  return out;
}

Attributes readDescriptor(const std::string& bytes) {
  Attributes out;
  for (const std::string& line : linesOf(bytes)) addLine(out, line);
  return out;
}

std::string writeDescriptor(const Attributes& attributes) {
  std::string text;
  for (const Attribute& a : attributes.list()) text += a.name + ": " + a.value + "\r\n";
  return text;
}

Jar readJar(const std::string& path) {
  Jar jar;
  int code = 0;
  std::unique_ptr<zip_t, ZipCloser> z(zip_open(path.c_str(), ZIP_RDONLY, &code));
  if (!z) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    jar.error = std::string("Архив не читается: ") + zip_error_strerror(&e) + ".";
    zip_error_fini(&e);
    return jar;
  }
  zip_source_t* whole = zip_source_file_create(path.c_str(), 0, -1, nullptr);
  if (whole) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(whole, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) jar.size = st.size;
    zip_source_free(whole);
  }
  const zip_int64_t manifest = zip_name_locate(z.get(), ManifestMember, ZIP_FL_NOCASE);
  if (manifest < 0) {
    jar.error = "В архиве нет META-INF/MANIFEST.MF.";
    return jar;
  }
  std::string bytes;
  if (!readMember(z.get(), manifest, MaxManifestBytes, bytes, jar.error)) return jar;
  jar.manifest = readManifest(bytes);
  const std::string icon = iconMember(jar.manifest);
  if (!icon.empty()) {
    const zip_int64_t at = zip_name_locate(z.get(), icon.c_str(), 0);
    std::string ignored;
    if (at >= 0 && !readMember(z.get(), at, MaxIconBytes, jar.icon, ignored)) jar.icon.clear();
  }
  return jar;
}

std::vector<std::string> checkSuite(const Attributes& descriptor, const Attributes& manifest, std::uint64_t jarSize) {
  std::vector<std::string> problems;
  for (const char* name : Identity)
    if (!descriptor.find(name)) problems.push_back(std::string("В описателе нет атрибута ") + name + ".");
  for (const char* name : DescriptorOnly)
    if (!descriptor.find(name)) problems.push_back(std::string("В описателе нет атрибута ") + name + ".");
  for (const char* name : Identity)
    if (!manifest.find(name)) problems.push_back(std::string("В манифесте архива нет атрибута ") + name + ".");
  for (const char* name : InEither)
    if (!descriptor.find(name) && !manifest.find(name))
      problems.push_back(std::string("Ни в описателе, ни в манифесте нет атрибута ") + name + ".");
  if (const std::string* size = descriptor.find("MIDlet-Jar-Size")) {
    if (!isDecimal(*size))
      problems.push_back("MIDlet-Jar-Size в описателе — «" + *size + "», а не число байт.");
    else if (std::stoull(*size) != jarSize)
      problems.push_back("MIDlet-Jar-Size в описателе — " + *size + ", а архив занимает " + std::to_string(jarSize) +
                         " байт.");
  }
  for (const char* name : Identity) {
    const std::string* d = descriptor.find(name);
    const std::string* m = manifest.find(name);
    if (d && m && *d != *m)
      problems.push_back(std::string(name) + " в описателе — «" + *d + "», а в манифесте — «" + *m + "».");
  }
  if (const std::string* v = descriptor.find("MIDlet-Version"); v && !isVersion(*v))
    problems.push_back("MIDlet-Version «" + *v + "» — не номер версии вида 1.0 или 1.0.1.");
  return problems;
}

Attributes makeDescriptor(const Attributes& manifest, const std::string& jarFileName, std::uint64_t jarSize) {
  Attributes d;
  for (const char* name : Identity)
    if (const std::string* v = manifest.find(name)) d.set(name, *v);
  for (const Attribute& a : manifest.list())
    if (a.name != "Manifest-Version" && a.name.rfind("Created-By", 0) != 0 && !d.find(a.name)) d.add(a);
  d.set("MIDlet-Jar-URL", jarFileName);
  d.set("MIDlet-Jar-Size", std::to_string(jarSize));
  return d;
}

Attributes fixDescriptor(const Attributes& descriptor, const Attributes& manifest, const std::string& jarFileName,
                         std::uint64_t jarSize) {
  Attributes d = descriptor;
  for (const char* name : Identity)
    if (const std::string* v = manifest.find(name)) d.set(name, *v);
  for (const char* name : InEither)
    if (!d.find(name))
      if (const std::string* v = manifest.find(name)) d.set(name, *v);
  if (!d.find("MIDlet-Jar-URL")) d.set("MIDlet-Jar-URL", jarFileName);
  d.set("MIDlet-Jar-Size", std::to_string(jarSize));
  return d;
}

}  // namespace quorrel::suites
