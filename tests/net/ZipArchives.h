#pragma once
// Zip archives for the zip component's tests: made by the zip tool, by libzip, or written byte by byte when a
// test needs a header field that no tool would write.
#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

// Runs a shell command in the current directory; fails the test when it does not exit with 0.
void run(const std::string& command);

struct RawMember {
  std::string name;  // bytes as stored
  std::string data;  // stored uncompressed
  int host = 3;      // high byte of "version made by"
  int version = 20;  // low byte of "version made by"
  std::string comment;
  std::uint32_t attributes = 0;  // external attributes; a Unix host keeps its mode in the high 16 bits
};

// A member from a Unix host.
RawMember plain(const std::string& name, const std::string& data);
// A member from a Unix host with this mode (type and permission bits); a link's data is its target.
RawMember withMode(const std::string& name, const std::string& data, std::uint32_t mode);

// A stored-only archive with the given members and archive comment.
std::string rawZip(const std::vector<RawMember>& members, const std::string& comment = {});

// Offset of the end record in an archive held in memory.
size_t endRecordOffset(const std::string& archive);
void putU16(std::string& bytes, size_t offset, std::uint16_t value);
void putU32(std::string& bytes, size_t offset, std::uint32_t value);

// A file's modification time, and setting it.
long long mtimeOf(const std::string& path);
void setMtime(const std::string& path, long long seconds);

// Every regular file below `root`, as relative path -> content, sorted.
std::vector<std::pair<std::string, std::string>> treeOf(const std::string& root);

}  // namespace ziptest
