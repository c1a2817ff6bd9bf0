// The unzip library: unpacks the archive named in the command under the current directory with libzip,
// reporting each step through the caller's callback and asking it about passwords, damaged members and files
// that already exist.
#include <fcntl.h>
#include <fnmatch.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "unzdll_abi.h"

#define UNZ_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr size_t ChunkSize = 256 * 1024;
constexpr int PasswordAttempts = 3;
constexpr zip_uint16_t ExtendedTimestampId = 0x5455;
constexpr zip_uint16_t UnicodePathId = 0x7075;

std::int32_t clamp32(zip_uint64_t v) { return static_cast<std::int32_t>(std::min<zip_uint64_t>(v, INT32_MAX)); }

bool isDosFamilyHost(zip_uint8_t host) {
  return host == ZIP_OPSYS_DOS || host == ZIP_OPSYS_OS_2 || host == ZIP_OPSYS_WINDOWS_NTFS || host == ZIP_OPSYS_VFAT;
}

std::string convert(const char* from, const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = out.data();
  size_t outLeft = out.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return bytes;
  out.resize(out.size() - outLeft);
  return out;
}

// The member's name as a file name of this system (UTF-8). Names flagged or recorded as UTF-8 are taken as
// they are; other names from DOS and Windows hosts are in the OEM code page of Cyrillic DOS.
std::string memberName(zip_t* za, zip_uint64_t index) {
  const char* guessed = zip_get_name(za, index, ZIP_FL_ENC_GUESS);
  const char* raw = zip_get_name(za, index, ZIP_FL_ENC_RAW);
  if (!guessed || !raw) return {};
  if (std::strcmp(guessed, raw) == 0) return raw;
  zip_uint16_t length = 0;
  if (zip_file_extra_field_get_by_id(za, index, UnicodePathId, 0, &length, ZIP_FL_CENTRAL | ZIP_FL_LOCAL))
    return guessed;
  zip_uint8_t host = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(za, index, 0, &host, &attributes) == 0 && isDosFamilyHost(host))
    return convert("CP866", raw);
  return guessed;
}

// The member's path below the destination, with "/" between folders; empty when the name is absolute or
// climbs out of the destination. A trailing "/" marks a folder.
std::string safeRelativePath(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty() || name[0] == '/' || (name.size() >= 2 && name[1] == ':')) return {};
  std::string out;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t slash = std::min(name.find('/', start), name.size());
    const std::string part = name.substr(start, slash - start);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (!out.empty()) out += '/';
      out += part;
    }
    start = slash + 1;
  }
  if (!out.empty() && name.back() == '/') out += '/';
  return out;
}

// Creates the folders of a relative path one level at a time.
bool makeFolders(const std::string& path) {
  for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0777) != 0) {
      struct stat st {};
      if (errno != EEXIST || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
  }
  return true;
}

time_t memberTime(zip_t* za, zip_uint64_t index, const zip_stat_t& st) {
  // The extended time stamp holds the modification time in UTC to the second; the DOS time is local time.
  for (zip_flags_t where : {ZIP_FL_LOCAL, ZIP_FL_CENTRAL}) {
    zip_uint16_t length = 0;
    const zip_uint8_t* data = zip_file_extra_field_get_by_id(za, index, ExtendedTimestampId, 0, &length, where);
    if (data && length >= 5 && (data[0] & 1)) {
      const std::uint32_t t = data[1] | (data[2] << 8) | (data[3] << 16) | (static_cast<std::uint32_t>(data[4]) << 24);
      return static_cast<time_t>(static_cast<std::int32_t>(t));
    }
  }
  return (st.valid & ZIP_STAT_MTIME) ? st.mtime : time(nullptr);
}

// Every member is written as an ordinary file, whatever permissions the archive records: a server's archive
// must not hand out execute or set-id bits.
mode_t memberMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0644 & ~mask;
}

// True when a Unix host recorded the member as something other than a file or a folder: a symbolic link
// (whose data is the link's target), a device, a pipe or a socket. Such members are never written.
bool isSpecialMember(zip_t* za, zip_uint64_t index) {
  zip_uint8_t host = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(za, index, 0, &host, &attributes) != 0 || host != ZIP_OPSYS_UNIX) return false;
  const mode_t type = (attributes >> 16) & S_IFMT;
  return type != 0 && type != S_IFREG && type != S_IFDIR;
}

// Bytes before the archive proper (a self-extracting stub) that the archive's offsets do not count: the end
// record's position minus the directory's size and stored offset. 0 when there are none or no record is found.
zip_uint64_t leadingBytes(const char* path) {
  constexpr long RecordSize = 22;
  constexpr long Span = RecordSize + 65535;
  FILE* f = std::fopen(path, "rb");
  if (!f) return 0;
  std::vector<unsigned char> tail;
  long size = 0;
  if (std::fseek(f, 0, SEEK_END) == 0 && (size = std::ftell(f)) >= RecordSize) {
    const long n = std::min(size, Span);
    tail.resize(static_cast<size_t>(n));
    if (std::fseek(f, size - n, SEEK_SET) != 0 || std::fread(tail.data(), 1, tail.size(), f) != tail.size())
      tail.clear();
  }
  std::fclose(f);
  const auto u32 = [&](size_t at) {
    return tail[at] | (tail[at + 1] << 8) | (tail[at + 2] << 16) | (static_cast<std::uint32_t>(tail[at + 3]) << 24);
  };
  for (long i = static_cast<long>(tail.size()) - RecordSize; i >= 0; --i) {
    const auto at = static_cast<size_t>(i);
    if (u32(at) != 0x06054B50) continue;
    const long long position = size - static_cast<long>(tail.size()) + i;
    const long long shift = position - static_cast<long long>(u32(at + 12)) - static_cast<long long>(u32(at + 16));
    return shift > 0 ? static_cast<zip_uint64_t>(shift) : 0;
  }
  return 0;
}

// Opens the archive, also when a stub before it shifts every offset that the archive records.
zip_t* openArchive(const char* path) {
  int error = 0;
  if (zip_t* za = zip_open(path, ZIP_RDONLY, &error)) return za;
  const zip_uint64_t shift = leadingBytes(path);
  if (shift == 0) return nullptr;
  zip_error_t zerror;
  zip_error_init(&zerror);
  zip_source_t* source = zip_source_file_create(path, shift, 0, &zerror);
  zip_t* za = source ? zip_open_from_source(source, ZIP_RDONLY, &zerror) : nullptr;
  if (source && !za) zip_source_free(source);
  zip_error_fini(&zerror);
  return za;
}

class Extraction {
 public:
  explicit Extraction(UnzipCommand& command) : command_(command) {
    if (command.Password) password_ = command.Password;
  }

  std::int32_t run() {
    zip_t* za = openArchive(command_.ZipFileName);
    if (!za) return 0;
    za_ = za;
    std::vector<zip_uint64_t> chosen;
    zip_uint64_t total = 0;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      zip_stat_t st;
      const auto index = static_cast<zip_uint64_t>(i);
      // Without a list of names to unpack every member is chosen, and its name is not worked out here: for tens
      // of thousands of members that alone held the caller's window before the first report.
      if (zip_stat_index(za, index, 0, &st) != 0 || (choosing() && !selected(memberName(za, index)))) continue;
      chosen.push_back(index);
      if (st.valid & ZIP_STAT_SIZE) total += st.size;
    }
    if (report(UNZ_ACTION_MEMBER_COUNT, "", 0, clamp32(chosen.size())) &&
        report(UNZ_ACTION_BATCH_SIZE, "", 0, clamp32(total))) {
      for (zip_uint64_t index : chosen) {
        if (!extractMember(index)) break;
      }
      if (!stopped_) report(UNZ_ACTION_BATCH_ENDS, "", 0, 0);
    }
    zip_discard(za);
    return written_;
  }

 private:
  bool choosing() const { return command_.FileSpecCount > 0 && command_.FileSpecs; }

  bool selected(std::string member) const {
    if (!choosing()) return true;
    std::replace(member.begin(), member.end(), '\\', '/');
    for (std::int32_t i = 0; i < command_.FileSpecCount; ++i) {
      const char* given = command_.FileSpecs[i].FileSpec;
      if (!given) continue;
      std::string pattern(given);
      std::replace(pattern.begin(), pattern.end(), '\\', '/');
      if (::fnmatch(pattern.c_str(), member.c_str(), FNM_NOESCAPE | FNM_CASEFOLD) == 0) return true;
    }
    return false;
  }

  // Calls back; false when the caller asked to stop.
  bool report(std::int32_t code, const std::string& text, std::int32_t answer, std::int32_t value) {
    data_ = UnzipCallbackData{};
    data_.Caller = command_.Caller;
    data_.ActionCode = code;
    data_.Answer = answer;
    data_.Value = value;
    const size_t n = std::min(text.size(), sizeof data_.Text - 1);
    std::memcpy(data_.Text, text.data(), n);
    data_.Text[n] = '\0';
    if (command_.Callback && command_.Callback(&data_) == UNZ_CALLBACK_STOP) stopped_ = true;
    return !stopped_;
  }

  // False when the work stops.
  bool extractMember(zip_uint64_t index) {
    zip_stat_t st;
    if (zip_stat_index(za_, index, 0, &st) != 0) return true;
    const std::string name = memberName(za_, index);
    const std::string path = safeRelativePath(name);
    if (!report(UNZ_ACTION_MEMBER_BEGINS, name, 0, clamp32(st.size))) return false;
    if (path.empty() || isSpecialMember(za_, index)) return skip(name);
    if (path.back() == '/') return makeFolders(path) ? true : skip(name);
    if (!makeFolders(path)) return skip(name);

    const time_t mtime = memberTime(za_, index, st);
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
      if (S_ISDIR(existing.st_mode)) return skip(name);
      if (!report(UNZ_ACTION_FILE_EXISTS, name, existing.st_mtime < mtime ? 1 : 0, 0)) return false;
      if (data_.Value != 1) return skip(name);
    }

    zip_file_t* zf = openMember(index, st, name);
    if (stopped_) return false;
    if (!zf) return skip(name);
    const bool kept = writeMember(zf, name, path, mtime, memberMode());
    zip_fclose(zf);
    if (stopped_) return false;
    if (!kept) return skip(name);
    ++written_;
    return true;
  }

  bool skip(const std::string& name) { return report(UNZ_ACTION_MEMBER_SKIPPED, name, 0, 0); }

  zip_file_t* openMember(zip_uint64_t index, const zip_stat_t& st, const std::string& name) {
    const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    if (!encrypted) return zip_fopen_index(za_, index, 0);
    zip_file_t* zf = password_.empty() ? nullptr : zip_fopen_index_encrypted(za_, index, 0, password_.c_str());
    std::int32_t attemptsLeft = PasswordAttempts;
    for (int asked = 0; !zf && asked < PasswordAttempts && attemptsLeft > 0; ++asked) {
      if (!password_.empty() && zip_error_code_zip(zip_get_error(za_)) != ZIP_ER_WRONGPASSWD &&
          zip_error_code_zip(zip_get_error(za_)) != ZIP_ER_NOPASSWD)
        return nullptr;
      if (!report(UNZ_ACTION_PASSWORD, name, 0, attemptsLeft)) return nullptr;
      data_.Text[sizeof data_.Text - 1] = '\0';
      if (data_.Answer != 1 || data_.Text[0] == '\0') return nullptr;
      password_ = data_.Text;
      attemptsLeft = data_.Value;
      zip_error_clear(za_);
      zf = zip_fopen_index_encrypted(za_, index, 0, password_.c_str());
    }
    return zf;
  }

  // Writes the member beside its target and puts it in place when it is whole, or damaged and wanted.
  bool writeMember(zip_file_t* zf, const std::string& name, const std::string& path, time_t mtime, mode_t mode) {
    std::string temp = path + ".unzXXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    std::vector<char> buffer(ChunkSize);
    bool ok = true;
    bool damaged = false;
    while (true) {
      const zip_int64_t n = zip_fread(zf, buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        damaged = zip_error_code_zip(zip_file_get_error(zf)) == ZIP_ER_CRC;
        ok = false;
        break;
      }
      if (!writeAll(fd, buffer.data(), static_cast<size_t>(n)) ||
          !report(UNZ_ACTION_PROGRESS, "", 0, static_cast<std::int32_t>(n))) {
        ok = false;
        break;
      }
    }
    if (damaged && report(UNZ_ACTION_CRC_ERROR, name, 0, 0)) ok = data_.Answer == 1;
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    if (ok) ok = ::fchmod(fd, mode) == 0 && ::futimens(fd, times) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && !stopped_)
      ok = ::rename(temp.c_str(), path.c_str()) == 0;
    else
      ok = false;
    if (!ok) ::unlink(temp.c_str());
    return ok;
  }

  static bool writeAll(int fd, const char* p, size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  UnzipCommand& command_;
  zip_t* za_ = nullptr;
  std::string password_;
  UnzipCallbackData data_{};
  std::int32_t written_ = 0;
  bool stopped_ = false;
};

}  // namespace

UNZ_EXPORT std::int32_t UnzDllExec(UnzipCommand* command) {
  if (!command || command->Version != UNZ_COMMAND_VERSION || !command->ZipFileName) return 0;
  try {
    return Extraction(*command).run();
  } catch (...) {
    // Nothing may unwind into the caller.
    return 0;
  }
}

UNZ_EXPORT std::int32_t GetUnzDllVersion(void) { return UNZ_COMMAND_VERSION; }
