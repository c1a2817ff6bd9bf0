// Extract: the zip component driving the unzip library, loaded with dlopen from beside the executable.
#include <gtest/gtest.h>

#include <zip.h>
#include <deque>

#include <QPushButton>
#include <filesystem>
#include <functional>

#include "app/ZipProgressDialog.h"
#include "common/DynLib.h"
#include "common/Paths.h"
#include "net/UnzipLibrary.h"
#include "net/ZipArchives.h"
#include "net/ZipExtractor.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

using quorrel::MsgButton;
using quorrel::MsgIcon;
using testsupport::exists;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::writeFile;
using ziptest::run;

namespace {

constexpr long long ArchivedTime = 1600000000;  // 2020-09-13

struct Batch {
  std::vector<std::string> begun;
  long long bytes = 0;
  int endings = 0;
  std::int32_t skipped = -1;
  std::int32_t count = -1;
};

// A zip component that records its events.
class ZipUnderTest {
 public:
  explicit ZipUnderTest(const std::string& archive) : zip(nullptr, &prompter) {
    zip.showProgressDialog = false;
    zip.handlers.memberBegins = [this](const std::string& name, std::int32_t, std::int32_t, std::int32_t) {
      batch.begun.push_back(name);
    };
    zip.handlers.progress = [this](const std::string&, std::int32_t increment, std::int32_t) {
      batch.bytes += increment;
    };
    zip.handlers.batchEnded = [this](std::int32_t skipped, std::int32_t count, std::int32_t) {
      ++batch.endings;
      batch.skipped = skipped;
      batch.count = count;
    };
    zip.setZipFileName(archive);
  }

  ScriptedPrompter prompter;
  ZipExtractor zip;
  Batch batch;
};

// A folder of sample files with the archive time stamp, zipped by the zip tool into `archive`.
void makeSample(const std::string& archive) {
  writeFile("sample/Javadata.xml", std::string(3000, 'j') + "\r\n");
  writeFile("sample/Base/games/ball.jar", std::string("PK\x03\x04 binary \0\xff", 14));
  writeFile("sample/Base/games/ball.jad", "MIDlet-Name: Ball\r\n");
  writeFile("sample/Base/empty.txt", "");
  std::string big;
  for (int i = 0; i < 200000; ++i) big += static_cast<char>((i * 7919) % 251);
  writeFile("sample/Base/screen/big.bin", big);
  run("cd sample && find . -exec touch -d @" + std::to_string(ArchivedTime) + " {} +");
  run("cd sample && zip -q -r " + archive + " . && zip -q -0 " + archive + " Base/games/ball.jad");
}

// Every entry of a folder, files or not.
std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

}  // namespace

TEST(ZipExtract, UnpacksExactlyAsUnzipWouldWithTimeStampsAndReportsTheBatch) {
  TempWorkDir dir;
  makeSample(dir / "sample.zip");
  run("mkdir byunzip && cd byunzip && unzip -o -q ../sample.zip");
  std::filesystem::create_directory("out");
  ZipUnderTest t(dir / "sample.zip");
  t.zip.extractDir = dir / "out";
  t.zip.extractOptions = ZipExtractor::UpdateOlder;
  EXPECT_EQ(t.zip.extract(), 5);
  EXPECT_EQ(quorrel::currentDir(), dir / "out/");
  EXPECT_EQ(ziptest::treeOf(dir / "out"), ziptest::treeOf(dir / "byunzip"));
  for (const char* f : {"Javadata.xml", "Base/games/ball.jar", "Base/screen/big.bin"})
    EXPECT_EQ(ziptest::mtimeOf(dir / "out/" + f), ArchivedTime) << f;
  EXPECT_EQ(t.batch.endings, 1);
  EXPECT_EQ(t.batch.skipped, 0);
  EXPECT_EQ(t.batch.count, static_cast<std::int32_t>(t.zip.entries.size()));
  EXPECT_EQ(t.batch.bytes, 3002 + 14 + 19 + 200000);
  EXPECT_EQ(t.batch.begun.size(), t.zip.entries.size());
  EXPECT_TRUE(t.prompter.asked.empty());
  EXPECT_TRUE(UnzipLibrary::isLoaded());
}

TEST(ZipExtract, ArchivesOfOtherToolsUnpackAsUnzipUnpacksThem) {
  TempWorkDir dir;
  // Python's zipfile: a folder entry, deflate, bzip2 and stored members, data descriptors not used.
  run("python3 -c \"import zipfile\n"
      "with zipfile.ZipFile('py.zip', 'w') as z:\n"
      "  z.writestr(zipfile.ZipInfo('dir/'), '')\n"
      "  z.writestr('dir/a.txt', 'a' * 5000, compress_type=zipfile.ZIP_DEFLATED)\n"
      "  z.writestr('b.bin', bytes(range(256)) * 100, compress_type=zipfile.ZIP_BZIP2)\n"
      "  z.writestr('c.txt', 'stored')\"");
  // The zip tool writing to a pipe: sizes and CRCs follow each member in a data descriptor.
  writeFile("stream.txt", std::string(70000, 's'));
  run("zip -q -fd - stream.txt > streamed.zip");
  for (const std::string archive : {"py.zip", "streamed.zip"}) {
    SCOPED_TRACE(archive);
    const std::string ours = dir / ("ours-" + archive);
    const std::string theirs = dir / ("unzip-" + archive);
    std::filesystem::create_directory(ours);
    run("mkdir " + theirs + " && cd " + theirs + " && unzip -o -q ../" + archive);
    ZipUnderTest t(dir / archive);
    t.zip.extractDir = ours;
    EXPECT_GT(t.zip.extract(), 0);
    EXPECT_EQ(ziptest::treeOf(ours), ziptest::treeOf(theirs));
    EXPECT_EQ(t.batch.skipped, 0);
  }
}

TEST(ZipExtract, WithoutExtractDirTheArchiveFolderBecomesCurrentAndFileSpecsChooseMembers) {
  TempWorkDir dir;
  makeSample(dir / "sample.zip");
  std::filesystem::create_directory("elsewhere");
  ZipUnderTest t("sample.zip");  // relative to the folder current when it is set
  std::filesystem::current_path(dir / "elsewhere");
  t.zip.fileSpecs = {"base\\games\\*.ja?"};
  EXPECT_EQ(t.zip.extract(), 2);
  EXPECT_EQ(quorrel::currentDir(), dir.path());
  EXPECT_TRUE(exists("Base/games/ball.jar"));
  EXPECT_TRUE(exists("Base/games/ball.jad"));
  EXPECT_FALSE(exists("Javadata.xml"));
  EXPECT_TRUE(t.zip.fileSpecs.empty());
}

TEST(ZipExtract, RefusalsShowTheirBoxAndLeaveEverythingAlone) {
  TempWorkDir dir;
  writeFile("a.txt", "a");
  run("zip -q plain.zip a.txt");
  std::string multi = ziptest::rawZip({ziptest::plain("a.txt", "a")});
  const size_t end = ziptest::endRecordOffset(multi);
  ziptest::putU16(multi, end + 4, 1);  // this disk and the directory's disk: 1
  ziptest::putU16(multi, end + 6, 1);
  writeFile("multi.zip", multi);

  UnzipLibrary::unload();
  ZipUnderTest missing("plain.zip");
  missing.zip.extractDir = dir / "no/such";
  missing.zip.fileSpecs = {"a.txt"};
  EXPECT_EQ(missing.zip.extract(), 0);
  ASSERT_EQ(missing.prompter.asked.size(), 1u);
  EXPECT_EQ(missing.prompter.asked[0].text,
            QString::fromStdString("Unable to extract files to:\n\"" + (dir / "no/such") +
                                   "\"\nThis folder does not exist."));
  EXPECT_EQ(missing.prompter.asked[0].icon, MsgIcon::Information);
  EXPECT_EQ(missing.prompter.asked[0].title, QStringLiteral("Quorrel"));
  EXPECT_EQ(missing.zip.fileSpecs.size(), 1u);

  ZipUnderTest spanned("multi.zip");
  ASSERT_EQ(spanned.zip.entries.size(), 1u);
  EXPECT_EQ(spanned.zip.extract(), 0);
  ASSERT_EQ(spanned.prompter.asked.size(), 1u);
  EXPECT_EQ(spanned.prompter.asked[0].text,
            QStringLiteral("Cannot Add, Delete or Extract from a multiple disk Zip file...\nMerge this Zip file onto "
                           "the hard disk before retrying."));
  EXPECT_FALSE(UnzipLibrary::isLoaded());
  EXPECT_EQ(quorrel::currentDir(), dir.path());
}

TEST(ZipExtract, HostileMemberNamesWriteNothingOutsideTheDestination) {
  TempWorkDir dir;
  std::filesystem::create_directory("dest");
  {
    int error = 0;
    zip_t* za = zip_open((dir / "evil.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(za, nullptr);
    const std::string outside = dir / "outside-abs.txt";
    for (const std::string& name : {std::string("../climb.txt"), std::string("sub/../../deep.txt"), outside,
                                    std::string("..\\back.txt"), std::string("sub/ok.txt")}) {
      static const char text[] = "payload";
      zip_source_t* src = zip_source_buffer(za, text, sizeof text - 1, 0);
      ASSERT_GE(zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_RAW), 0) << name;
    }
    ASSERT_EQ(zip_close(za), 0);
  }
  ZipUnderTest t(dir / "evil.zip");
  t.zip.extractDir = dir / "dest";
  EXPECT_EQ(t.zip.extract(), 1);
  EXPECT_EQ(readFile(dir / "dest/sub/ok.txt"), "payload");
  EXPECT_EQ(t.batch.skipped, 4);
  for (const char* f : {"climb.txt", "deep.txt", "outside-abs.txt", "back.txt", "dest/back.txt"})
    EXPECT_FALSE(exists(dir / f)) << f;
  EXPECT_FALSE(exists("/climb.txt"));
}

TEST(ZipExtract, AnArchiveThatUnpacksToMoreThanItsLimitStopsWithAnErrorAndLeavesNothing) {
  constexpr std::int64_t MiB = 1024 * 1024;
  struct LimitCase {
    std::int64_t freeBytes, archiveBytes, limit;
  };
  for (const LimitCase& c : std::vector<LimitCase>{
           {INT64_MAX, MiB, 100 * MiB},             // 100 times the archive
           {INT64_MAX, 10 * 1024, 64 * MiB},        // a small archive still gets the floor
           {INT64_MAX, 100 * MiB, 1024 * MiB},      // never more than 1 GiB
           {INT64_MAX, INT64_MAX / 2, 1024 * MiB},  // no overflow on absurd sizes
           {100 * MiB, 10 * MiB, 68 * MiB},         // free space less a margin of 32 MiB
           {10 * MiB, 1024, 0},                     // a nearly full disk takes nothing
       }) {
    EXPECT_EQ(ZipExtractor::unpackLimit(c.freeBytes, c.archiveBytes), c.limit) << c.freeBytes << " " << c.archiveBytes;
  }

  TempWorkDir dir;
  std::filesystem::create_directory("dest");
  // 80 MB of zeros squeeze into a few tens of kilobytes: far past the 64 MiB that such an archive may write.
  run("truncate -s 80M zeros && zip -q bomb.zip zeros && rm zeros");
  ZipUnderTest honest(dir / "bomb.zip");
  honest.zip.extractDir = dir / "dest";
  try {
    honest.zip.extract();
    ADD_FAILURE() << "no error";
  } catch (const ZipException& e) {
    EXPECT_NE(std::string(e.what()).find("распаковка остановлена"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(honest.batch.begun.empty());  // refused from the sizes the archive states

  // The same archive stating a size of 1 KB in both headers: the bytes written are counted as they come.
  std::string lying = readFile(dir / "bomb.zip");
  ziptest::putU32(lying, 22, 1024);
  const size_t central = lying.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  ziptest::putU32(lying, central + 24, 1024);
  writeFile(dir / "lying.zip", lying);
  ZipUnderTest liar(dir / "lying.zip");
  liar.zip.extractDir = dir / "dest";
  try {
    liar.zip.extract();
    ADD_FAILURE() << "no error";
  } catch (const ZipException& e) {
    EXPECT_NE(std::string(e.what()).find("распаковка остановлена"), std::string::npos) << e.what();
  }
  EXPECT_EQ(liar.batch.bytes, 64 * MiB);  // the report past the limit stopped it
  EXPECT_TRUE(ziptest::treeOf(dir / "dest").empty());
  EXPECT_TRUE(entriesOf(dir / "dest").empty());
}

TEST(ZipExtract, NamesFromDosHostsAreWrittenFromTheOemCodePageAndUnicodeNamesAsTheyAre) {
  TempWorkDir dir;
  ziptest::RawMember dos = ziptest::plain("\x88\x83\x90\x80/\x8c\xef\xe7.jar", "dos");  // code page 866
  dos.host = 0;
  writeFile("names.zip", ziptest::rawZip({dos, ziptest::plain("Игры/Мяч.jad", "unix")}));
  std::filesystem::create_directory("out");
  ZipUnderTest t(dir / "names.zip");
  t.zip.extractDir = dir / "out";
  EXPECT_EQ(t.zip.extract(), 2);
  EXPECT_EQ(readFile(dir / "out/ИГРА/Мяч.jar"), "dos");
  EXPECT_EQ(readFile(dir / "out/Игры/Мяч.jad"), "unix");
  EXPECT_EQ(t.batch.begun, (std::vector<std::string>{"ИГРА/Мяч.jar", "Игры/Мяч.jad"}));
}

struct OverwriteCase {
  const char* label;
  ZipExtractor::ExtractFlags options;
  bool existingOlder;
  std::vector<MsgButton> answers;
  bool overwritten;
  const char* question;  // nullptr: nothing asked
};

TEST(ZipExtract, ExistingFilesFollowTheOverwriteRuleOfTheOptions) {
  const char* older = "\"a.txt\" is older than the zipped file.\nOverwrite this file? ...";
  const char* newer =
      "\"a.txt\" is the same age or newer than the zipped file.\nDo you really want to overwrite "
      "this file? ...";
  const std::vector<OverwriteCase> cases = {
      {"no options, newer", {}, false, {}, true, nullptr},
      {"option 2 alone, newer", ZipExtractor::Overwrite, false, {}, true, nullptr},
      {"option 0, older", ZipExtractor::UpdateOlder, true, {}, true, nullptr},
      {"option 0, newer", ZipExtractor::UpdateOlder, false, {}, false, nullptr},
      {"option 1 and 3, newer",
       ZipExtractor::FreshenOlder | ZipExtractor::AskBeforeOverwrite,
       false,
       {},
       false,
       nullptr},
      {"option 3, older, yes", ZipExtractor::AskBeforeOverwrite, true, {MsgButton::Yes}, true, older},
      {"option 3, older, no", ZipExtractor::AskBeforeOverwrite, true, {MsgButton::No}, false, older},
      {"option 3, newer, yes", ZipExtractor::AskBeforeOverwrite, false, {MsgButton::Yes}, true, newer},
      {"option 3, newer, cancel", ZipExtractor::AskBeforeOverwrite, false, {MsgButton::Cancel}, false, newer},
  };
  for (const OverwriteCase& c : cases) {
    SCOPED_TRACE(c.label);
    TempWorkDir dir;
    writeFile("src/a.txt", "archived");
    writeFile("src/b.txt", "second");
    ziptest::setMtime("src/a.txt", ArchivedTime);
    run("cd src && zip -q ../a.zip a.txt b.txt");
    writeFile("a.txt", "existing");
    ziptest::setMtime("a.txt", ArchivedTime + (c.existingOlder ? -86400 : 86400));
    ZipUnderTest t(dir / "a.zip");
    t.zip.extractDir = dir.path();
    t.zip.extractOptions = c.options;
    t.prompter.answers.assign(c.answers.begin(), c.answers.end());
    t.zip.extract();
    EXPECT_EQ(readFile("a.txt"), c.overwritten ? "archived" : "existing");
    if (!c.question) {
      EXPECT_TRUE(t.prompter.asked.empty());
    } else {
      ASSERT_EQ(t.prompter.asked.size(), 1u);
      EXPECT_EQ(t.prompter.asked[0].text, QString::fromUtf8(c.question));
      EXPECT_EQ(t.prompter.asked[0].icon, c.existingOlder ? MsgIcon::Information : MsgIcon::Error);
      EXPECT_EQ(t.prompter.asked[0].defaultButton, c.existingOlder ? 0 : 1);
    }
    const bool cancelled = !c.answers.empty() && c.answers[0] == MsgButton::Cancel;
    EXPECT_EQ(exists("b.txt"), !cancelled);  // Cancel stops before the next member
    EXPECT_EQ(t.zip.cancelled, cancelled);
  }
}

TEST(ZipExtract, DamagedMemberIsAskedAboutAndEachAnswerHonoured) {
  TempWorkDir dir;
  writeFile("src/a.txt", "first member");
  writeFile("src/bad.txt", "This text will be damaged in the archive.");
  writeFile("src/z.txt", "last member");
  run("cd src && zip -q -0 ../good.zip a.txt bad.txt z.txt");
  std::string archive = readFile("good.zip");
  const size_t at = archive.find("damaged");
  ASSERT_NE(at, std::string::npos);
  archive[at] = 'D';
  writeFile("bad.zip", archive);

  const QString question = QStringLiteral("\"bad.txt\" may be corrupted (CRC error).\nExtract this file anyway? ...");
  for (MsgButton answer : {MsgButton::Yes, MsgButton::No, MsgButton::Cancel}) {
    std::filesystem::remove_all(dir / "out");
    std::filesystem::create_directory(dir / "out");
    ZipUnderTest t(dir / "bad.zip");
    t.zip.extractDir = dir / "out";
    t.prompter.answers = {answer};
    const std::int32_t written = t.zip.extract();
    ASSERT_EQ(t.prompter.asked.size(), 1u);
    EXPECT_EQ(t.prompter.asked[0].text, question);
    EXPECT_EQ(t.prompter.asked[0].icon, MsgIcon::Question);
    EXPECT_EQ(t.prompter.asked[0].defaultButton, 1);
    EXPECT_TRUE(exists(dir / "out/a.txt"));
    if (answer == MsgButton::Yes) {
      EXPECT_EQ(readFile(dir / "out/bad.txt"), "This text will be Damaged in the archive.");
      EXPECT_EQ(written, 3);
    } else {
      EXPECT_FALSE(exists(dir / "out/bad.txt"));
    }
    EXPECT_EQ(exists(dir / "out/z.txt"), answer != MsgButton::Cancel);
    if (answer == MsgButton::No) {
      EXPECT_EQ(t.batch.skipped, 1);
    }
    // Nothing half-written is left behind.
    EXPECT_EQ(ziptest::treeOf(dir / "out").size(), static_cast<size_t>(answer == MsgButton::Cancel ? 1 : written));
  }
}

// The first `count` passwords, of "a", "b", ..., that libzip refuses for the member at once.
std::deque<QString> refusedPasswords(const std::string& archive, const char* member, int count) {
  std::deque<QString> out;
  int error = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &error);
  for (char c = 'a'; za && c <= 'z' && static_cast<int>(out.size()) < count; ++c) {
    const std::string candidate(1, c);
    zip_file_t* f = zip_fopen_encrypted(za, member, 0, candidate.c_str());
    if (f) {
      zip_fclose(f);
    } else {
      out.push_back(QString::fromStdString(candidate));
    }
  }
  if (za) zip_discard(za);
  return out;
}

TEST(ZipExtract, EncryptedMembersAskForThePasswordUntilRightOrGivenUp) {
  TempWorkDir dir;
  writeFile("src/secret.txt", "classified");
  writeFile("src/open.txt", "public");
  run("cd src && zip -q -P right ../enc.zip secret.txt && zip -q ../enc.zip open.txt");
  {
    // AES, as libzip writes it.
    int error = 0;
    zip_t* za = zip_open((dir / "aes.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(za, nullptr);
    static const char text[] = "aes content";
    const zip_int64_t i = zip_file_add(za, "aes.txt", zip_source_buffer(za, text, sizeof text - 1, 0), 0);
    ASSERT_EQ(zip_file_set_encryption(za, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, "right"), 0);
    ASSERT_EQ(zip_close(za), 0);
  }
  const QString prompt = QStringLiteral("A new password is required for \"secret.txt\"");
  {
    SCOPED_TRACE("wrong, then right");
    ZipUnderTest t(dir / "enc.zip");
    t.zip.extractDir = dir.path();
    t.prompter.inputs = refusedPasswords(dir / "enc.zip", "secret.txt", 1);
    t.prompter.inputs.push_back(QStringLiteral("right"));
    EXPECT_EQ(t.zip.extract(), 2);
    EXPECT_EQ(readFile("secret.txt"), "classified");
    ASSERT_EQ(t.prompter.inputAsked.size(), 2u);
    EXPECT_EQ(t.prompter.inputAsked[0].prompt, prompt);
    EXPECT_EQ(t.prompter.inputAsked[0].title, QStringLiteral("Quorrel"));
  }
  std::filesystem::remove("secret.txt");
  std::filesystem::remove("open.txt");
  {
    SCOPED_TRACE("wrong three times");
    ZipUnderTest t(dir / "enc.zip");
    t.zip.extractDir = dir.path();
    // Traditional encryption checks a password with one byte, so about one wrong password in 256 passes the
    // check and only fails later as a damaged member; use three that this archive's header really refuses.
    t.prompter.inputs = refusedPasswords(dir / "enc.zip", "secret.txt", 3);
    t.prompter.inputs.push_back(QStringLiteral("right"));
    EXPECT_EQ(t.zip.extract(), 1);
    EXPECT_FALSE(exists("secret.txt"));
    EXPECT_EQ(t.prompter.inputAsked.size(), 3u);
    EXPECT_EQ(t.batch.skipped, 1);
    EXPECT_EQ(readFile("open.txt"), "public");
  }
  std::filesystem::remove("open.txt");
  {
    SCOPED_TRACE("empty answer: the member is skipped, the rest unpacked");
    ZipUnderTest t(dir / "enc.zip");
    t.zip.extractDir = dir.path();
    t.zip.extractOptions = {};
    t.prompter.inputs = {QStringLiteral("")};
    EXPECT_EQ(t.zip.extract(), 1);
    EXPECT_EQ(t.prompter.inputAsked.size(), 1u);
    EXPECT_FALSE(exists("secret.txt"));
    EXPECT_FALSE(t.zip.cancelled);
  }
  std::filesystem::remove("open.txt");
  {
    SCOPED_TRACE("input cancelled: the extraction ends");
    ZipUnderTest t(dir / "enc.zip");
    t.zip.extractDir = dir.path();
    EXPECT_EQ(t.zip.extract(), 0);
    EXPECT_EQ(t.prompter.inputAsked.size(), 1u);
    EXPECT_TRUE(t.zip.cancelled);
    EXPECT_FALSE(exists("secret.txt"));
    EXPECT_FALSE(exists("open.txt"));
  }
  {
    SCOPED_TRACE("password set beforehand; AES");
    ZipUnderTest t(dir / "aes.zip");
    t.zip.extractDir = dir.path();
    t.zip.zipPassword = "right";
    EXPECT_EQ(t.zip.extract(), 1);
    EXPECT_EQ(readFile("aes.txt"), "aes content");
    EXPECT_TRUE(t.prompter.inputAsked.empty());
  }
}

// An archive written by libzip: `count` members encrypted with AES, member i with passwordOf(i), then one
// plain member.
void writeEncrypted(const std::string& path, int count, const std::function<std::string(int)>& passwordOf) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(za, nullptr);
  static const char text[] = "secret";
  for (int i = 0; i < count; ++i) {
    const std::string name = "m" + std::to_string(1000 + i) + ".txt";
    const zip_int64_t at = zip_file_add(za, name.c_str(), zip_source_buffer(za, text, sizeof text - 1, 0), 0);
    ASSERT_GE(at, 0);
    ASSERT_EQ(zip_file_set_encryption(za, static_cast<zip_uint64_t>(at), ZIP_EM_AES_256, passwordOf(i).c_str()), 0);
  }
  ASSERT_GE(zip_file_add(za, "plain.txt", zip_source_buffer(za, text, sizeof text - 1, 0), 0), 0);
  ASSERT_EQ(zip_close(za), 0);
}

TEST(ZipExtract, AnArchiveOfManyEncryptedMembersAsksABoundedNumberOfTimes) {
  TempWorkDir dir;
  writeEncrypted(dir / "same.zip", 300, [](int) { return std::string("right"); });
  // Three members under one password, the last under another.
  writeEncrypted(dir / "two.zip", 4, [](int i) { return std::string(i < 3 ? "one" : "two"); });
  const auto unpackedFiles = [&dir] { return ziptest::treeOf(dir / "out").size(); };
  struct Case {
    const char* what;
    const char* archive;
    std::deque<QString> inputs;
    std::int32_t written;
    size_t asked;
    bool cancelled;
  };
  const QString wrong = QStringLiteral("wrong");
  const std::vector<Case> cases = {
      {"one answer for the whole archive", "same.zip", {QStringLiteral("right")}, 301, 1, false},
      {"an answer tried on the later members first",
       "two.zip",
       {QStringLiteral("one"), QStringLiteral("two")},
       5,
       2,
       false},
      {"cancel at the first question", "same.zip", {QString()}, 0, 1, true},
      {"wrong answers without end", "same.zip", {wrong, wrong, wrong, wrong, wrong, wrong}, 1, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir / "out");
    std::filesystem::create_directory(dir / "out");
    ZipUnderTest t(dir / c.archive);
    t.zip.extractDir = dir / "out";
    t.prompter.inputs = c.inputs;
    EXPECT_EQ(t.zip.extract(), c.written);
    EXPECT_EQ(unpackedFiles(), static_cast<size_t>(c.written));
    // AES refuses a wrong password by a two-byte check: one member in 65536 lets it on to its damaged-data
    // question, answered No; the questions for a password stay within the bound all the same.
    EXPECT_LE(t.prompter.inputAsked.size(), c.asked);
    if (c.inputs.front() != wrong) {
      EXPECT_EQ(t.prompter.inputAsked.size(), c.asked);
    }
    EXPECT_EQ(t.zip.cancelled, c.cancelled);
  }
}

TEST(ZipExtract, ProgressWindowCancelStopsAtTheNextCallAndTheWindowGoes) {
  TempWorkDir dir;
  makeSample(dir / "sample.zip");
  std::filesystem::create_directory("out");
  ZipUnderTest t(dir / "sample.zip");
  t.zip.extractDir = dir / "out";
  t.zip.showProgressDialog = true;
  const ZipProgressWindow progress(t.zip, nullptr);
  QString shownTitle;
  t.zip.handlers.memberBegins = [&](const std::string& name, std::int32_t, std::int32_t, std::int32_t) {
    t.batch.begun.push_back(name);
    ZipProgressDialog* form = progress.dialog();
    ASSERT_NE(form, nullptr);
    shownTitle = form->windowTitle();
    if (t.batch.begun.size() == 1) form->cancelButton->click();
  };
  EXPECT_EQ(t.zip.extract(), 0);
  EXPECT_EQ(t.batch.begun.size(), 1u);
  EXPECT_TRUE(t.zip.cancelled);
  EXPECT_EQ(progress.dialog(), nullptr);
  EXPECT_EQ(shownTitle, QStringLiteral("Quorrel"));
  EXPECT_TRUE(ziptest::treeOf(dir / "out").empty());
}

TEST(ZipExtract, ErrorInAnEventHandlerStopsTheLibraryAndReachesTheCaller) {
  TempWorkDir dir;
  makeSample(dir / "sample.zip");
  ZipUnderTest t(dir / "sample.zip");
  t.zip.showProgressDialog = true;
  const ZipProgressWindow progress(t.zip, nullptr);
  t.zip.fileSpecs = {"*"};
  int begun = 0;
  t.zip.handlers.memberBegins = [&](const std::string&, std::int32_t, std::int32_t, std::int32_t) {
    if (++begun == 2) throw quorrel::QuorrelError("handler failed");
  };
  EXPECT_THROW(t.zip.extract(), quorrel::QuorrelError);
  EXPECT_EQ(begun, 2);
  EXPECT_EQ(progress.dialog(), nullptr);
  EXPECT_TRUE(t.zip.fileSpecs.empty());
}

TEST(ZipLibrary, LibraryLackingAnExportCountsAsMissingAndTheCurrentDirectoryIsNeverSearched) {
  TempWorkDir dir;
  writeFile("a.txt", "a");
  run("zip -q a.zip a.txt");
  UnzipLibrary::unload();
  {
    ZipUnderTest t(dir / "a.zip");
    t.zip.dllDirectory = testsupport::binDir() + "lacking";
    EXPECT_FALSE(t.zip.loadUnzipLibrary());
    EXPECT_FALSE(UnzipLibrary::isLoaded());
    try {
      t.zip.extract();
      ADD_FAILURE() << "no exception";
    } catch (const ZipException& e) {
      EXPECT_STREQ(e.what(), "Unable to load \"UnzDll.dll\".");
    }
  }
  // A library file that an update unpacked into the working folder is not picked up.
  std::filesystem::copy_file(testsupport::binDir() + "lacking/UnZDll.dll", dir / "UnZDll.dll");
  std::filesystem::create_directory("out");
  {
    ZipUnderTest t(dir / "a.zip");
    t.zip.extractDir = dir / "out";
    EXPECT_EQ(t.zip.extract(), 1);
    EXPECT_TRUE(UnzipLibrary::isLoaded());
  }
  EXPECT_FALSE(UnzipLibrary::isLoaded());  // released with the component
}

TEST(ZipLibrary, NoFolderInsideTheWorkingFolderAndNoRelativeSearchEntryIsEverSearched) {
  TempWorkDir dir;
  for (const char* f : {"work/build/bin", "work/lib", "outside", "other"}) std::filesystem::create_directories(f);
  const std::string work = dir / "work";
  using folders = std::vector<std::string>;
  // The program's folders inside the working one go, and so do relative, empty and inside entries.
  EXPECT_EQ(quorrel::DynLib::searchFolders(
                work + "/build/bin/", work,
                {"lib", "", ".", work + "/lib", dir / "outside", dir / "missing", dir / "work/../outside"}),
            (folders{dir / "outside/"}));
  EXPECT_EQ(quorrel::DynLib::searchFolders(dir / "other/", work, {work}), (folders{dir / "other/"}));
  EXPECT_EQ(quorrel::DynLib::searchFolders(dir / "other/", "/", {"/usr/lib"}), folders{});

  // For real: started from the folder above the program's, the copy beside the program is refused, and an
  // LD_LIBRARY_PATH entry outside the working folder serves in its place.
  std::filesystem::create_directories("good");
  std::filesystem::copy_file(testsupport::binDir() + "UnZDll.dll", dir / "good/UnZDll.dll");
  const char* saved = std::getenv("LD_LIBRARY_PATH");
  const std::string savedPath = saved ? saved : "";
  UnzipLibrary::unload();
  ASSERT_EQ(::chdir((testsupport::binDir() + "..").c_str()), 0);
  {
    ZipExtractor zip(nullptr, nullptr);
    ::setenv("LD_LIBRARY_PATH", "bin", 1);
    EXPECT_FALSE(zip.loadUnzipLibrary());
    zip.dllDirectory = testsupport::binDir();
    EXPECT_FALSE(zip.loadUnzipLibrary());
    zip.dllDirectory.clear();
    ::setenv("LD_LIBRARY_PATH", ("bin:" + testsupport::binDir() + ":" + dir / "good").c_str(), 1);
    EXPECT_TRUE(zip.loadUnzipLibrary());
  }
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  if (saved)
    ::setenv("LD_LIBRARY_PATH", savedPath.c_str(), 1);
  else
    ::unsetenv("LD_LIBRARY_PATH");
  EXPECT_FALSE(UnzipLibrary::isLoaded());
}
