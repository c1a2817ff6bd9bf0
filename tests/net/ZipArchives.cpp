#include "net/ZipArchives.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace ziptest {

void run(const std::string& command) {
  const int rc = std::system(command.c_str());
  ASSERT_EQ(rc, 0) << command;
}

namespace {

std::uint32_t crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void appendU16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

void appendU32(std::string& s, std::uint32_t v) {
  appendU16(s, v & 0xFFFF);
  appendU16(s, v >> 16);
}

}  // namespace

RawMember plain(const std::string& name, const std::string& data) {
  RawMember m;
  m.name = name;
  m.data = data;
  return m;
}

RawMember withMode(const std::string& name, const std::string& data, std::uint32_t mode) {
  RawMember m = plain(name, data);
  m.attributes = mode << 16;
  return m;
}

std::string rawZip(const std::vector<RawMember>& members, const std::string& comment) {
  std::string out;
  std::string central;
  for (const RawMember& m : members) {
    const auto offset = static_cast<std::uint32_t>(out.size());
    const std::uint32_t crc = crc32(m.data);
    const auto size = static_cast<std::uint32_t>(m.data.size());
    const auto nameLength = static_cast<std::uint32_t>(m.name.size());
    appendU32(out, 0x04034B50);
    for (std::uint32_t v : {20u, 0u, 0u, 0x6000u, 0x5021u}) appendU16(out, v);
    for (std::uint32_t v : {crc, size, size}) appendU32(out, v);
    appendU16(out, nameLength);
    appendU16(out, 0);
    out += m.name + m.data;

    appendU32(central, 0x02014B50);
    appendU16(central, static_cast<std::uint32_t>((m.host << 8) | m.version));
    for (std::uint32_t v : {20u, 0u, 0u, 0x6000u, 0x5021u}) appendU16(central, v);
    for (std::uint32_t v : {crc, size, size}) appendU32(central, v);
    for (std::uint32_t v : {nameLength, 0u, static_cast<std::uint32_t>(m.comment.size()), 0u, 0u})
      appendU16(central, v);
    appendU32(central, m.attributes);
    appendU32(central, offset);
    central += m.name + m.comment;
  }
  const auto centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  appendU32(out, 0x06054B50);
  appendU16(out, 0);
  appendU16(out, 0);
  appendU16(out, static_cast<std::uint32_t>(members.size()));
  appendU16(out, static_cast<std::uint32_t>(members.size()));
  appendU32(out, static_cast<std::uint32_t>(central.size()));
  appendU32(out, centralOffset);
  appendU16(out, static_cast<std::uint32_t>(comment.size()));
  return out + comment;
}

size_t endRecordOffset(const std::string& archive) { return archive.rfind(std::string("PK\x05\x06", 4)); }

void putU16(std::string& bytes, size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

void putU32(std::string& bytes, size_t offset, std::uint32_t value) {
  putU16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
  putU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

long long mtimeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_mtime);
}

void setMtime(const std::string& path, long long seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::vector<std::pair<std::string, std::string>> treeOf(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file())
      out.emplace_back(fs::relative(e.path(), root).string(), testsupport::readFile(e.path().string()));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ziptest
