// Suites read from real .jar archives and .jad files, checked as a phone checks them, and catalogues written
// from them that the program's own loader reads back value for value.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <memory>

#include "catalogue/Catalogue.h"
#include "common/Ansi.h"
#include "net/ZipArchives.h"
#include "suites/CatalogueWriter.h"
#include "suites/GifPicture.h"
#include "suites/Suite.h"
#include "support/Gif.h"
#include "support/TempDir.h"

using namespace quorrel::suites;
using testsupport::writeFile;

namespace {

const std::string GoodManifest =
    "Manifest-Version: 1.0\r\nMIDlet-Name: Tetra\r\nMIDlet-Version: 1.2\r\nMIDlet-Vendor: Kelvor\r\n"
    "MIDlet-1: Tetra, /icon.png, Tetra\r\nMicroEdition-Profile: MIDP-2.0\r\nMicroEdition-Configuration: CLDC-1.1\r\n"
    "MIDlet-Description: Falling blocks\r\n\r\nName: Tetra.class\r\nMIDlet-Name: NotTheMainSection\r\n";

std::string jar(const std::string& manifest, const std::vector<ziptest::RawMember>& more = {}) {
  std::vector<ziptest::RawMember> members{ziptest::plain("META-INF/MANIFEST.MF", manifest)};
  members.insert(members.end(), more.begin(), more.end());
  return ziptest::rawZip(members);
}

std::string value(const Attributes& a, const std::string& name) {
  const std::string* v = a.find(name);
  return v ? *v : "<absent>";
}

TEST(SuiteRead, ManifestShapesFromRealArchives) {
  testsupport::TempWorkDir dir;
  struct Case {
    const char* what;
    std::string manifest;
    std::string name, description;
  };
  const std::vector<Case> cases = {
      {"the main section only", GoodManifest, "Tetra", "Falling blocks"},
      {"72-byte lines continued",
       "MIDlet-Name: Te\r\n tra\r\nMIDlet-Description: a long description that the jar tool wrapped at seventy-t\r\n"
       " wo bytes\r\n",
       "Tetra", "a long description that the jar tool wrapped at seventy-two bytes"},
      {"LF only and a byte-order mark", "\xEF\xBB\xBFMIDlet-Name: Tetra\nMIDlet-Description: x\n", "Tetra", "x"},
      {"colons in values", "MIDlet-Name: Tetra: Reloaded\r\nMIDlet-Description: see http://x.example:80/a\r\n",
       "Tetra: Reloaded", "see http://x.example:80/a"},
      {"Cyrillic in UTF-8", "MIDlet-Name: Тетрис\r\nMIDlet-Description: Падают блоки\r\n", "Тетрис", "Падают блоки"},
      {"no line break at the end, blanks around values", "MIDlet-Name:   Tetra  \r\nMIDlet-Description:x", "Tetra",
       "x"},
  };
  for (const Case& c : cases) {
    writeFile("t.jar", jar(c.manifest));
    const Jar j = readJar("t.jar");
    ASSERT_TRUE(j.error.empty()) << c.what << ": " << j.error;
    EXPECT_EQ(value(j.manifest, "MIDlet-Name"), c.name) << c.what;
    EXPECT_EQ(value(j.manifest, "MIDlet-Description"), c.description) << c.what;
    EXPECT_EQ(j.size, testsupport::readFile("t.jar").size()) << c.what;
  }
}

TEST(SuiteRead, ArchivesThatCannotServeSayWhy) {
  testsupport::TempWorkDir dir;
  writeFile("text.jar", "this is no archive");
  writeFile("bare.jar", ziptest::rawZip({ziptest::plain("a.class", "x")}));
  writeFile("huge.jar", jar("MIDlet-Name: x\r\n" + std::string(2 * 1024 * 1024, 'x')));
  writeFile("icon.jar", jar(GoodManifest, {ziptest::plain("icon.png", "PNG bytes")}));
  EXPECT_NE(readJar("text.jar").error.find("Архив не читается"), std::string::npos);
  EXPECT_EQ(readJar("bare.jar").error, "В архиве нет META-INF/MANIFEST.MF.");
  EXPECT_NE(readJar("huge.jar").error.find("больше"), std::string::npos);
  EXPECT_NE(readJar("missing.jar").error.find("Архив не читается"), std::string::npos);
  EXPECT_EQ(readJar("icon.jar").icon, "PNG bytes");  // MIDlet-1's icon, the leading "/" dropped
}

TEST(SuiteCheck, EachProblemIsOneSentenceAndMendingRemovesWhatItCan) {
  const Attributes manifest = readManifest(GoodManifest);
  const std::string good = writeDescriptor(makeDescriptor(manifest, "tetra.jar", 1234));
  EXPECT_TRUE(checkSuite(readDescriptor(good), manifest, 1234).empty()) << good;
  struct Case {
    std::string descriptor;
    std::string manifest;
    std::vector<std::string> problems;
    bool mendable;
  };
  const std::string bare = "MIDlet-Jar-URL: tetra.jar\r\nMIDlet-Jar-Size: 1234\r\n";
  const std::vector<Case> cases = {
      {"\xEF\xBB\xBFMIDlet-Name: Tetra\nMIDlet-Version: 1.2\nMIDlet-Vendor: Kelvor\n" + bare, GoodManifest, {}, true},
      {bare, GoodManifest,
       {"В описателе нет атрибута MIDlet-Name.", "В описателе нет атрибута MIDlet-Version.",
        "В описателе нет атрибута MIDlet-Vendor."},
       true},
      {"MIDlet-Name: Tetra\r\nMIDlet-Version: 1.2\r\nMIDlet-Vendor: Kelvor\r\nMIDlet-Jar-Size: 99\r\n", GoodManifest,
       {"В описателе нет атрибута MIDlet-Jar-URL.", "MIDlet-Jar-Size в описателе — 99, а архив занимает 1234 байт."},
       true},
      {"MIDlet-Name: Tetris\r\nMIDlet-Version: 1.3\r\nMIDlet-Vendor: Kelvor\r\n" + bare, GoodManifest,
       {"MIDlet-Name в описателе — «Tetris», а в манифесте — «Tetra».",
        "MIDlet-Version в описателе — «1.3», а в манифесте — «1.2»."},
       true},
      {"MIDlet-Name: Tetra\r\nMIDlet-Version: one\r\nMIDlet-Vendor: Kelvor\r\nMIDlet-Jar-URL: t.jar\r\n"
       "MIDlet-Jar-Size: 12x\r\n",
       "MIDlet-Name: Tetra\r\nMIDlet-Version: one\r\nMIDlet-Vendor: Kelvor\r\n",
       {"Ни в описателе, ни в манифесте нет атрибута MIDlet-1.",
        "Ни в описателе, ни в манифесте нет атрибута MicroEdition-Profile.",
        "Ни в описателе, ни в манифесте нет атрибута MicroEdition-Configuration.",
        "MIDlet-Jar-Size в описателе — «12x», а не число байт.",
        "MIDlet-Version «one» — не номер версии вида 1.0 или 1.0.1."},
       false},
      {"MIDlet-Name: Tetra\r\nMIDlet-Version: 1.2\r\nMIDlet-Vendor: Kelvor\r\n" + bare, "Manifest-Version: 1.0\r\n",
       {"В манифесте архива нет атрибута MIDlet-Name.", "В манифесте архива нет атрибута MIDlet-Version.",
        "В манифесте архива нет атрибута MIDlet-Vendor.", "Ни в описателе, ни в манифесте нет атрибута MIDlet-1.",
        "Ни в описателе, ни в манифесте нет атрибута MicroEdition-Profile.",
        "Ни в описателе, ни в манифесте нет атрибута MicroEdition-Configuration."},
       false},
  };
  for (const Case& c : cases) {
    const Attributes d = readDescriptor(c.descriptor);
    const Attributes m = readManifest(c.manifest);
    EXPECT_EQ(checkSuite(d, m, 1234), c.problems) << c.descriptor;
    const Attributes fixed = fixDescriptor(d, m, "tetra.jar", 1234);
    EXPECT_EQ(checkSuite(fixed, m, 1234).empty(), c.mendable) << c.descriptor;
    if (c.mendable) {
      EXPECT_EQ(value(fixed, "MIDlet-Name"), "Tetra");
    }
  }
}

// ---- Catalogues ----

struct Loaded {
  std::unique_ptr<quorrel::FolderTable> folders = std::make_unique<quorrel::FolderTable>();
  std::unique_ptr<quorrel::GameTable> games = std::make_unique<quorrel::GameTable>();
  quorrel::CatalogueLoad load;
};

Loaded load(const std::string& bytes) {
  writeFile("Javadata.xml", bytes);
  Loaded l;
  l.load = quorrel::loadCatalogueFile("Javadata.xml", "javabase.tmp", *l.folders, *l.games);
  return l;
}

std::string shown(const std::string& ansi) { return quorrel::fromAnsi(ansi).toStdString(); }

TEST(CatalogueWrite, HostileTextsReadBackThroughTheLoaderAsTheyAreShown) {
  testsupport::TempWorkDir dir;
  CatalogueModel model;
  model.name = "Model with name, disp, desc, vers and pic in it";
  model.desc = "desc of vers and pic";
  model.version = "1.0 pic";
  CatalogueFolder folder;
  folder.name = "  Folder \"desc\" and pic";
  folder.desc = "Its pic\r\nsecond line";
  folder.pic = "f1";
  CatalogueGame g;
  g.size = "1234";
  g.file = "a";
  g.screen = "a.gif";
  g.name = "Say \"hi\"";
  g.owner = "Иван \"Kelvor\" П.";
  g.desc = "Tabs\tand breaks\nand 中文 and emoji 🙂 and <end> and \"quotes\"";
  folder.games.push_back(g);
  g.file = "b";
  g.name = "Say \"hi\"";  // the same name again
  folder.games.push_back(g);
  g.file = "c";
  g.name = "Новости";  // the news entry's text
  model.games.push_back(g);
  model.folders.push_back(folder);

  const WrittenCatalogue written = writeCatalogue(model, dir.path());
  EXPECT_TRUE(written.refused.empty());
  EXPECT_FALSE(written.notes.empty());
  const Loaded l = load(written.bytes);
  ASSERT_EQ(l.load.folderCount, 2);
  ASSERT_EQ(l.load.gameCount, 3);
  EXPECT_EQ(shown(l.load.version), "1.0 рic");
  const auto& f = *l.folders;
  EXPECT_EQ(shown(f[1].name), "Model with name, dіsp, dеsc, vеrs and рic in it");
  EXPECT_EQ(shown(f[1].description), "desc of vеrs and рic");
  EXPECT_EQ(shown(f[2].name), "Folder “dеsc” and рic");
  EXPECT_EQ(shown(f[2].description), "Its рic  second line");
  EXPECT_EQ(shown(f[2].picture), "f1");
  const auto& games = *l.games;
  EXPECT_EQ(shown(games[1].name), "Новости (2)");
  EXPECT_EQ(shown(games[2].name), "Say “hi”");
  EXPECT_EQ(shown(games[3].name), "Say “hi” (2)");
  EXPECT_EQ(shown(games[2].owner), "Иван “Kelvor” П.");
  EXPECT_EQ(shown(games[2].description), "Tabs and breaks and ?? and emoji ? and <end> and “quotes”");
  EXPECT_EQ(games[2].size, "1234");
  EXPECT_EQ(games[3].file, "b");
  EXPECT_EQ(games[3].screen, "a.gif");
}

TEST(CatalogueWrite, GamesPastTheTablesAreLeftOutWithAReason) {
  testsupport::TempWorkDir dir;
  CatalogueModel model;
  model.name = "M";
  model.version = "1";
  for (int i = 0; i < quorrel::GameCapacity + 2; ++i) {
    CatalogueGame g;
    g.name = "g" + std::to_string(i);
    g.file = g.name;
    g.size = "1";
    model.games.push_back(g);
  }
  const WrittenCatalogue written = writeCatalogue(model, dir.path());
  ASSERT_EQ(written.refused.size(), 2u);
  EXPECT_EQ(written.refused[0], "Игра «g1000» не вошла в каталог: в нём уже 1000 игр.");
  EXPECT_EQ(load(written.bytes).load.gameCount, quorrel::GameCapacity);
}

TEST(CatalogueWrite, FileNamesAreSafeAndUniqueWithoutRegardToCase) {
  EXPECT_EQ(safeFileNames({"Tetra", "tetra", "TETRA", "игра", "a b/c..d", "", "x"}),
            (std::vector<std::string>{"Tetra", "tetra_2", "TETRA_3", "game", "a_b_c_d", "game_2", "x"}));
  EXPECT_EQ(safeFileNames({std::string(80, 'z')})[0].size(), 40u);
}

TEST(CataloguePictures, PngBecomesAGifNoTallerThanTheScreen) {
  QImage png(300, 400, QImage::Format_ARGB32);
  png.fill(QColor(10, 200, 30, 128));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(png.save(&buffer, "PNG"));
  std::string gif, error;
  ASSERT_TRUE(pictureAsGif(bytes.toStdString(), 160, gif, error)) << error;
  EXPECT_TRUE(isGif(gif));
  QImage back;
  ASSERT_TRUE(back.loadFromData(QByteArray::fromStdString(gif), "GIF"));
  EXPECT_EQ(back.height(), 160);
  EXPECT_EQ(back.width(), 120);
  EXPECT_FALSE(pictureAsGif("not a picture", 128, gif, error));
  EXPECT_FALSE(error.empty());
  const std::string placeholder = placeholderGif(Placeholder::NoScreenshot, 128);
  ASSERT_TRUE(back.loadFromData(QByteArray::fromStdString(placeholder), "GIF"));
  EXPECT_EQ(back.size(), QSize(128, 128));
}

}  // namespace
