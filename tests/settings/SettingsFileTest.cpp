// The settings file on its own: the 19 written lines, the positional reader and the safe replacement.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "settings/SettingsFile.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"

using namespace quorrel;
using testsupport::cp1251;
using testsupport::errorOf;
using testsupport::readFile;
using testsupport::TempWorkDir;
using testsupport::writeFile;

namespace {

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

// Runs writeSettingsFile in a child process as an unprivileged user (root ignores permission bits), and
// returns "ok" or the error text.
std::string writeUnprivileged(const std::string& path, const std::string& bytes) {
  int out[2];
  if (::pipe(out) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    std::string result = "ok";
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      result = "cannot drop privileges";
    } else {
      try {
        writeSettingsFile(path, bytes);
      } catch (const std::exception& e) {
        result = e.what();
      }
    }
    if (::write(out[1], result.data(), result.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(out[1]);
  std::string result;
  char buf[256];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0) result.append(buf, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return result;
}

}  // namespace

TEST(SettingsFile, LineBreakInAValueDoesNotShiftTheLinesAfterIt) {
  SettingsLines s;
  s.proxyHost = "a\r\nb\nc";
  const std::string text = formatSettings(s);
  EXPECT_EQ(text.substr(text.find("[Proxy Settings]")),
            "[Proxy Settings]\r\n0\r\na  b c\r\n\r\n\r\n\r\n\r\n"
            "[Connection]\r\n\r\n\r\n1\r\n\r\n[Interface]\r\n0\r\n");
}

TEST(SettingsFile, NumbersAndConversions) {
  TempWorkDir dir;
  writeFile("n.ini", "[Interface]\r\n 300 rest\r\nx\r\n\r\n2x\r\n");
  SettingsReader in("n.ini");
  ASSERT_TRUE(in.findSection(InterfaceHeader));
  EXPECT_EQ(in.readNumber(), 300);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(errorOf([&] { in.readNumber(); }), "Invalid numeric input");
  EXPECT_EQ(in.readNumber(), 0);  // past the end
  EXPECT_FALSE(in.findSection(ConnectionHeader));

  EXPECT_EQ(toInteger(" -2147483648"), INT32_MIN);
  EXPECT_EQ(errorOf([] { toInteger(""); }), "'' is not a valid integer value");
  EXPECT_EQ(errorOf([] { toInteger("80 "); }), "'80 ' is not a valid integer value");
  EXPECT_EQ(errorOf([] { toInteger("2147483648"); }), "'2147483648' is not a valid integer value");
  EXPECT_EQ(errorOf([] { toInteger(cp1251("порт")); }), "'порт' is not a valid integer value");
}

TEST(SettingsWrite, ReplacesWholeFileReadableByOwnerOnly) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", "old and longer than the new content\r\n");
  ::chmod("Quorrel.ini", 0644);
  writeSettingsFile(dir / "Quorrel.ini", "new\r\n");
  EXPECT_EQ(readFile("Quorrel.ini"), "new\r\n");
  EXPECT_EQ(modeOf("Quorrel.ini"), 0600u);

  // A link is followed: the file it points to is replaced and the link stays.
  writeFile("real/Quorrel.ini", "old");
  std::filesystem::create_symlink(dir / "real/Quorrel.ini", dir / "link.ini");
  writeSettingsFile(dir / "link.ini", "via link");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(readFile("real/Quorrel.ini"), "via link");

  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(SettingsWrite, PermissionsOfAnUnprivilegedUserAreHonoured) {
  TempWorkDir dir;
  ::chmod(dir.path().c_str(), 0755);
  const std::string open = dir / "open/", closed = dir / "closed/";
  writeFile(open + "Quorrel.ini", "keep");
  writeFile(closed + "Quorrel.ini", "in place");
  ::chmod(open.c_str(), 0777);
  ::chmod((open + "Quorrel.ini").c_str(), 0444);
  ::chmod((closed + "Quorrel.ini").c_str(), 0666);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((closed + "Quorrel.ini").c_str(), 65534, 65534), 0);
  }
  ::chmod(closed.c_str(), 0555);

  // A read-only file is not replaced, although the folder would allow a rename over it.
  EXPECT_EQ(writeUnprivileged(open + "Quorrel.ini", "new"), "File access denied");
  EXPECT_EQ(readFile(open + "Quorrel.ini"), "keep");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(open), {}), 1);
  // A writable file in a folder that takes no new files is rewritten in place, and made its owner's only.
  EXPECT_EQ(writeUnprivileged(closed + "Quorrel.ini", "new"), "ok");
  EXPECT_EQ(readFile(closed + "Quorrel.ini"), "new");
  EXPECT_EQ(modeOf(closed + "Quorrel.ini"), 0600u);
}
