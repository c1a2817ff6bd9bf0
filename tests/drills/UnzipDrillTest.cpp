// Unpacking that breaks: an unzip library that gives up in the middle of its work, and a disk that fills up
// while the real library writes. The component ends cleanly and every file that was there stays whole.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "DrillWindow.h"
#include "ZipArchives.h"
#include "app/ZipProgressDialog.h"
#include "common/Paths.h"
#include "net/ZipExtractor.h"

using drills::entriesOf;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string OldCatalogue = "<model name=\"old\">\r\n<end>\r\n";

class UnzipDrill : public DrillWindow {
 protected:
  void SetUp() override {
    DrillWindow::SetUp();
    zip = std::make_unique<ZipExtractor>(nullptr, &prompter);
    zip->handlers.memberBegins = [this](const std::string& name, std::int32_t, std::int32_t, std::int32_t) {
      begun.push_back(name);
    };
    zip->handlers.batchEnded = [this](std::int32_t skippedCount, std::int32_t, std::int32_t) {
      skipped = skippedCount;
    };
  }
  void TearDown() override {
    if (::chdir(folder.c_str()) != 0) ADD_FAILURE() << "cannot return to " << folder;
  }

  // A stored archive whose catalogue member cannot be squeezed: it takes its full size on disk.
  static std::string archive(std::size_t catalogueSize) {
    std::string big(catalogueSize, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919 + i / 13) & 0xFF);
    return ziptest::rawZip({ziptest::plain("Javadata.xml", big), ziptest::plain("news.gif", "GIF89a news")});
  }

  std::vector<std::string> begun;
  int skipped = -1;
  std::unique_ptr<ZipExtractor> zip;
};

}  // namespace

TEST_F(UnzipDrill, LibraryFailingInTheMiddleEndsTheExtractionCleanly) {
  writeFile("Javadata.zip", archive(3000));
  writeFile("Javadata.xml", OldCatalogue);
  zip->dllDirectory = testsupport::binDir() + "failing";
  zip->setZipFileName(folder + "Javadata.zip");
  zip->extractDir = folder;
  zip->showProgressDialog = true;
  std::optional<ZipProgressWindow> progress(std::in_place, *zip, nullptr);
  EXPECT_EQ(zip->extract(), -1);  // the library's result, as it stands
  EXPECT_EQ(progress->dialog(), nullptr);
  progress.reset();
  EXPECT_EQ(begun, std::vector<std::string>{"Javadata.xml"});
  EXPECT_EQ(skipped, -1);  // the batch never ended
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(readFile("Javadata.xml"), OldCatalogue);
  EXPECT_EQ(entriesOf(folder), (std::vector<std::string>{"Javadata.xml", "Javadata.zip"}));

  // Released with its component, the broken library makes way for the real one.
  zip.reset();
  ZipExtractor real(nullptr, &prompter);
  real.setZipFileName(folder + "Javadata.zip");
  real.extractDir = folder;
  real.extractOptions = {};  // overwrite without asking
  real.showProgressDialog = false;
  EXPECT_EQ(real.extract(), 2);
  EXPECT_EQ(readFile("news.gif"), "GIF89a news");
}

TEST_F(UnzipDrill, DiskFullWhileExtractingKeepsTheOldCatalogue) {
  std::optional<drills::SmallDisk> disk;
  std::string dest = folder;
  if (!drills::inChild()) {
    writeFile("Javadata.zip", archive(120 * 1024));
    disk.emplace(folder + "disk", 256);
    if (!disk->mounted()) {
      writeFile("Javadata.xml", OldCatalogue);
      ziptest::setMtime("Javadata.xml", 1000000000);
      // No tmpfs here: the same drill in a child process that may not write files above 64 KB.
      ASSERT_EQ(drills::runCurrentTestInChild({false, 64 * 1024}), 0);
      EXPECT_EQ(readFile("Javadata.xml"), OldCatalogue);
      return;
    }
    dest = folder + "disk/";
    writeFile(dest + "Javadata.xml", OldCatalogue);
    ziptest::setMtime(dest + "Javadata.xml", 1000000000);
    disk->fillLeaving(dest + "filler", 16 * 1024);
  }
  zip->setZipFileName(folder + "Javadata.zip");
  zip->extractDir = dest;
  zip->showProgressDialog = false;
  if (disk) {
    // Too little room for what the archive says it holds: refused before anything is written.
    EXPECT_THROW(zip->extract(), ZipException);
    EXPECT_EQ(readFile(dest + "Javadata.xml"), OldCatalogue);
    EXPECT_EQ(entriesOf(dest), (std::vector<std::string>{"Javadata.xml", "filler"}));
    return;
  }
  // The update's options: an older file is replaced without asking.
  EXPECT_EQ(zip->extract(), 1);  // only the small member fits
  EXPECT_EQ(skipped, 1);
  EXPECT_EQ(readFile(dest + "Javadata.xml"), OldCatalogue);
  EXPECT_EQ(readFile(dest + "news.gif"), "GIF89a news");
  for (const std::string& name : entriesOf(dest)) {
    EXPECT_TRUE(name == "Javadata.xml" || name == "news.gif" || name == "filler" || name == "Javadata.zip" ||
                name == "disk")
        << name;
  }
}
