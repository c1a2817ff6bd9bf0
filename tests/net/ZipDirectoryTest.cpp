// Setting ZipFileName: the archive's directory as the zip component reads it.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Ansi.h"
#include "net/UnzipLibrary.h"
#include "net/ZipArchives.h"
#include "net/ZipExtractor.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

using testsupport::cp1251;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::writeFile;
using ziptest::RawMember;
using ziptest::run;

namespace {

std::vector<std::string> names(const ZipExtractor& zip) {
  std::vector<std::string> out;
  for (const ZipEntry& e : zip.entries) out.push_back(e.memberName);
  return out;
}

// The text of the ZipException that setting the name raises, empty when none.
std::string errorSetting(ZipExtractor& zip, const std::string& name) {
  try {
    zip.setZipFileName(name);
  } catch (const ZipException& e) {
    return e.what();
  }
  return {};
}

}  // namespace

TEST(ZipDirectory, MissingArchiveIsCreatedEmptyAndExtractsNothingWithoutTheLibrary) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  UnzipLibrary::unload();
  ZipExtractor zip(nullptr, &prompter);
  int changed = 0;
  zip.handlers.contentsChanged = [&] { ++changed; };
  zip.zipPassword = "old";
  zip.setZipFileName(dir / "new.zip");
  EXPECT_EQ(readFile("new.zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_TRUE(zip.entries.empty());
  EXPECT_TRUE(zip.zipPassword.empty());
  EXPECT_EQ(zip.endRecord.position, 0);
  EXPECT_EQ(changed, 1);
  zip.fileSpecs = {"x"};
  EXPECT_EQ(zip.extract(), 0);
  EXPECT_FALSE(UnzipLibrary::isLoaded());
  EXPECT_EQ(zip.fileSpecs.size(), 1u);  // left alone when the library was not called
  EXPECT_TRUE(prompter.asked.empty());

  zip.setZipFileName("");
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(zip.endRecord.position, -1);
}

TEST(ZipDirectory, ArchiveOfTheZipToolIsListedWithHeadersCommentAndSeparators) {
  TempWorkDir dir;
  writeFile("src/Javadata.xml", std::string(5000, 'x'));
  writeFile("src/Base/games/ball.jar", "tiny");
  run("cd src && zip -q -r ../a.zip Javadata.xml Base && zip -q -0 ../a.zip Base/games/ball.jar");
  run("cd src && echo 'update 3.1' | zip -q -z ../a.zip");
  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);
  zip.setZipFileName(dir / "a.zip");
  EXPECT_EQ(names(zip), (std::vector<std::string>{"Javadata.xml", "Base/", "Base/games/", "Base/games/ball.jar"}));
  EXPECT_EQ(zip.endRecord.comment, "update 3.1");
  EXPECT_EQ(zip.endRecord.record.totalEntries, 4);
  EXPECT_FALSE(zip.oemNames);  // made on Unix
  const ZipEntry& xml = zip.entries[0];
  EXPECT_EQ(xml.header.signature, CentralFileHeaderSignature);
  EXPECT_EQ(xml.header.method, 8);
  EXPECT_EQ(xml.header.uncompressedSize, 5000u);
  EXPECT_LT(xml.header.compressedSize, 100u);
  EXPECT_FALSE(xml.extraField.empty());  // the zip tool's time stamp and Unix fields
  const ZipEntry& jar = zip.entries[3];
  EXPECT_EQ(jar.header.method, 0);
  EXPECT_EQ(jar.header.compressedSize, 4u);
  EXPECT_EQ(jar.encrypted, 0);
}

TEST(ZipDirectory, StubBeforeTheArchiveAndEncryptedMembersAreListed) {
  TempWorkDir dir;
  writeFile("a.txt", "alpha");
  writeFile("b.txt", "beta");
  run("zip -q -P secret inner.zip a.txt && zip -q inner.zip b.txt");
  writeFile("sfx.zip", std::string(40000, '\x90') + readFile("inner.zip"));
  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);
  zip.setZipFileName(dir / "sfx.zip");
  EXPECT_EQ(names(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(zip.entries[0].encrypted, 1);
  EXPECT_EQ(zip.entries[1].encrypted, 0);
  EXPECT_EQ(zip.endRecord.position, static_cast<std::int32_t>(readFile("sfx.zip").size() - 22));
  // The stub shifts every offset the archive records; it unpacks all the same.
  std::filesystem::create_directory("out");
  zip.extractDir = dir / "out";
  zip.zipPassword = "secret";
  zip.showProgressDialog = false;
  EXPECT_EQ(zip.extract(), 2);
  EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(readFile(dir / "out/b.txt"), "beta");
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(ZipDirectory, DosHostNamesAreConvertedFromTheOemCodePageByTheFirstMember) {
  TempWorkDir dir;
  const std::string oemName = "\x88\x83\x90\x80/\x8c\xef\xe7.jar";  // "ИГРА/Мяч.jar" in code page 866
  const std::string oemComment = "\x8f\xe0\xa8\xa2\xa5\xe2";        // "Привет"
  writeFile("dos.zip", ziptest::rawZip({{oemName, "1", 0, 20, oemComment}, {"plain.txt", "2", 0, 20, ""}}));
  writeFile("ntfs.zip", ziptest::rawZip({{oemName, "1", 11, 50, ""}}));
  writeFile("mixed.zip", ziptest::rawZip({{"first.txt", "1", 3, 30, ""}, {oemName, "2", 0, 20, oemComment}}));
  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);

  zip.setZipFileName("dos.zip");
  EXPECT_TRUE(zip.oemNames);
  EXPECT_EQ(names(zip), (std::vector<std::string>{cp1251("ИГРА/Мяч.jar"), "plain.txt"}));
  EXPECT_EQ(zip.entries[0].fileComment, cp1251("Привет"));

  zip.setZipFileName("ntfs.zip");
  EXPECT_TRUE(zip.oemNames);
  EXPECT_EQ(names(zip), (std::vector<std::string>{cp1251("ИГРА/Мяч.jar")}));

  zip.setZipFileName("mixed.zip");  // the first member decides for all
  EXPECT_FALSE(zip.oemNames);
  EXPECT_EQ(names(zip), (std::vector<std::string>{"first.txt", oemName}));
  EXPECT_EQ(zip.entries[1].fileComment, oemComment);
}

TEST(ZipDirectory, EndRecordIsFoundOnlyWithinTheLast65535Bytes) {
  TempWorkDir dir;
  const std::string archive = ziptest::rawZip({ziptest::plain("a.txt", "a")});
  // 65,513 trailing bytes put the record's first byte exactly 65,535 bytes before the end.
  writeFile("edge.zip", archive + std::string(65513, 'z'));
  writeFile("beyond.zip", archive + std::string(65514, 'z'));
  writeFile("short.zip", "PK\x05\x06");
  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);
  zip.setZipFileName("edge.zip");
  EXPECT_EQ(names(zip), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(errorSetting(zip, dir / "beyond.zip"), "\"" + (dir / "beyond.zip") + "\"\nis not a valid Zip file.");
  EXPECT_TRUE(zip.entries.empty());
  EXPECT_EQ(errorSetting(zip, "short.zip"), "\"short.zip\"\nis not a valid Zip file.");
}

TEST(ZipDirectory, ImplausibleOrTruncatedDirectoriesAreRefused) {
  TempWorkDir dir;
  const std::string good = ziptest::rawZip({ziptest::plain("a.txt", "a"), ziptest::plain("b.txt", "b")});
  const size_t end = ziptest::endRecordOffset(good);

  std::string huge = good;
  ziptest::putU32(huge, end + 12, 1024001);  // central directory size
  writeFile("huge.zip", huge);
  std::string atLimit = good;
  ziptest::putU32(atLimit, end + 12, 1024000);
  writeFile("limit.zip", atLimit);
  std::string manyDisks = good;
  ziptest::putU16(manyDisks, end + 4, 1001);
  writeFile("disks.zip", manyDisks);
  std::string truncated = good;
  ziptest::putU16(truncated, end + 8, 3);  // three entries claimed, two present
  ziptest::putU16(truncated, end + 10, 3);
  writeFile("truncated.zip", truncated);
  std::string badSignature = good;
  badSignature[end - 46 - 5 + 2] = 'X';  // second central header's signature
  writeFile("badsig.zip", badSignature);

  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);
  EXPECT_EQ(errorSetting(zip, "huge.zip"), "\"huge.zip\"\nis not a valid Zip file.");
  EXPECT_EQ(errorSetting(zip, "disks.zip"), "\"disks.zip\"\nis not a valid Zip file.");
  // At the limit the record passes, and reading headers from where it points fails.
  EXPECT_EQ(errorSetting(zip, "limit.zip"), "Error reading 'CentralFileHeader'!");
  EXPECT_EQ(errorSetting(zip, "truncated.zip"), "Error reading 'CentralFileHeader'!");
  EXPECT_TRUE(zip.entries.empty());
  EXPECT_EQ(errorSetting(zip, "badsig.zip"), "Error reading 'CentralFileHeader'!");
  EXPECT_TRUE(zip.entries.empty());
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(ZipDirectory, InaccessibleFolderOrUncreatableArchiveRaises) {
  TempWorkDir dir;
  testsupport::writeFile("taken.zip/inside", "a folder where the archive should be");
  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);
  int changed = 0;
  zip.handlers.contentsChanged = [&] { ++changed; };
  EXPECT_EQ(errorSetting(zip, dir / "nowhere/a.zip"), "Unable to access the selected drive!");
  EXPECT_EQ(errorSetting(zip, dir / "taken.zip"), "Unable to create \n\"" + (dir / "taken.zip") + "\"");
  EXPECT_EQ(changed, 0);
}

TEST(ZipDirectory, CentralDirectoryOnAnotherDiskEndsQuietlyWithoutAPromptNoDiskCouldAnswer) {
  TempWorkDir dir;
  std::string archive = ziptest::rawZip({ziptest::plain("a.txt", "a")});
  ziptest::putU16(archive, ziptest::endRecordOffset(archive) + 6, 2);  // directory on disk 2, record on disk 0
  writeFile("span.zip", archive);
  ScriptedPrompter prompter;
  ZipExtractor zip(nullptr, &prompter);
  zip.setZipFileName("span.zip");
  EXPECT_TRUE(zip.entries.empty());
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(zip.extract(), 0);
}
