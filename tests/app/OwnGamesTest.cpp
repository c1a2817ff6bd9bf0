// The user's own games through the real window: "Добавить игры..." (the file dialog answered by the test),
// files dropped on the window, removal from the catalogue's menu, and an upload of an added game to the
// virtual phone. The games are real .jar archives made by the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "app/CommandLine.h"
#include "common/Ansi.h"
#include "net/ZipArchives.h"
#include "phone/PhoneFixture.h"
#include "suites/OwnGames.h"
#include "support/Gif.h"
#include "support/Widgets.h"

using quorrel::MsgButton;
using testsupport::cp1251;
using testsupport::exists;
using testsupport::readFile;
using testsupport::widget;
using testsupport::writeFile;

namespace {

const QString OwnRoot = QStringLiteral("Мои игры");
const QString News = QStringLiteral("Новости");

// A complete settings file, so that start-up goes on to load the catalogue.
void writeSettings() {
  writeFile("Quorrel.ini",
            "[Update Server]\r\n\r\n1\r\n0\r\n\r\n[Proxy Settings]\r\n0\r\n\r\n\r\n\r\n\r\n\r\n"
            "[Connection]\r\nCOM1\r\n115200\r\n1\r\n\r\n[Interface]\r\n0\r\n");
}

std::string manifest(const std::string& name, const std::string& vendor = "Kelvor") {
  return "Manifest-Version: 1.0\r\nMIDlet-Name: " + name + "\r\nMIDlet-Version: 1.0\r\nMIDlet-Vendor: " + vendor +
         "\r\nMIDlet-1: " + name +
         ", , Main\r\nMicroEdition-Profile: MIDP-2.0\r\n"
         "MicroEdition-Configuration: CLDC-1.1\r\nMIDlet-Description: " +
         name + " to play\r\n";
}

// A real .jar: a zip archive with its manifest and a class.
std::string jar(const std::string& name) {
  return ziptest::rawZip(
      {ziptest::plain("META-INF/MANIFEST.MF", manifest(name)), ziptest::plain("Main.class", "CAFE")});
}

// The main catalogue: a model made for 160-pixel pictures with one folder and its games (name, file).
std::string serverCatalogue(const std::vector<std::pair<std::string, std::string>>& games,
                            const std::string& version = "7") {
  std::string text = "<model name=\"X100\" disp=\"160\" desc=\"m\" vers=\"" + version + "\" pic=\"x\">\r\n" +
                     "<folder name=\"Games\" desc=\"f\" pic=\"g\">\r\n";
  for (const auto& [name, file] : games)
    text += "<game name=\"" + name + "\">\r\n<size=\"3\">\r\n<file=\"" + file + "\">\r\n<screen=\"" + file +
            ".gif\">\r\n<desc=\"d\">\r\n";
  return text + "</folder>\r\n<end>\r\n";
}

QStringList roots(QTreeWidget* tree) {
  QStringList out;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) out << tree->topLevelItem(i)->text(0);
  return out;
}

QTreeWidgetItem* rootNamed(QTreeWidget* tree, const QString& text) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    if (tree->topLevelItem(i)->text(0) == text) return tree->topLevelItem(i);
  return nullptr;
}

QStringList childTexts(QTreeWidgetItem* node) {
  QStringList out;
  for (int i = 0; node && i < node->childCount(); ++i) out << node->child(i)->text(0);
  return out;
}

class OwnGames : public PhoneWindow {
 protected:
  void SetUp() override {
    writeSettings();
    writeFile("Javadata.xml", serverXml);
    writeFile("Base/screen/noscr.gif", testsupport::animatedGif(4, 4, 1));
    writeFile("Base/dir/template.gif", testsupport::animatedGif(4, 4, 1));
    PhoneWindow::SetUp();
    form->show();
    form->chooseGamePaths = [this](bool folder) {
      chosenFolder = folder;
      return chosen;
    };
  }

  // "Добавить игры..." with these files chosen in the dialog.
  void addThroughMenu(const QStringList& paths) {
    chosen = paths;
    widget<QAction>(*form, "addGamesAction")->trigger();
  }

  QString source(const std::string& relative) const { return QString::fromStdString(dir / ("in/" + relative)); }

  std::string ownEntryFile(const QString& name) {
    const int index = form->catalogue().firstGameNamed(quorrel::toAnsi(name), true);
    return index == 0 ? std::string("<none>") : form->catalogue().game(index).file;
  }

  const std::string serverXml = serverCatalogue({{"Ball", "ball"}, {"Snake", "snake"}});
  QStringList chosen;
  bool chosenFolder = false;
};

TEST_F(OwnGames, AddedThroughTheMenuTheyStandUnderTheirRootAndGoToThePhone) {
  writeFile(dir / "in/ball.jar", jar("Ball"));  // the same name and file as a game of the main catalogue
  writeFile(dir / "in/tetra.jar", jar("Tetra"));
  writeFile(dir / "in/tetra.jad",
            "MIDlet-Name: Tetra\r\nMIDlet-Version: 1.0\r\nMIDlet-Vendor: Kelvor\r\n"
            "MIDlet-Jar-URL: tetra.jar\r\nMIDlet-Jar-Size: 1\r\nMIDlet-1: Tetra, , Main\r\n");
  // The jar's wrong size is a problem that is mended: asked before anything is added.
  prompter.answers = {MsgButton::Yes};
  addThroughMenu({source("ball.jar"), source("tetra.jar")});
  EXPECT_FALSE(chosenFolder);

  ASSERT_GE(prompter.asked.size(), 2u);
  EXPECT_TRUE(prompter.asked[0].text.startsWith(QStringLiteral("Будут добавлены в «Мои игры» игры: 2.")))
      << prompter.asked[0].text.toStdString();
  EXPECT_TRUE(prompter.asked[0].text.contains(QStringLiteral("MIDlet-Jar-Size")));
  EXPECT_EQ(prompter.asked.back().text, QStringLiteral("В «Мои игры» добавлено игр: 2."));
  EXPECT_TRUE(prompter.errors().empty());

  // The main catalogue is as it was, its version and picture size too; the own root stands before the news.
  EXPECT_EQ(readFile("Javadata.xml"), serverXml);
  EXPECT_EQ(roots(widget<QTreeWidget>(*form, "catalogueTree")), (QStringList{QStringLiteral("X100"), OwnRoot, News}));
  EXPECT_EQ(childTexts(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)),
            (QStringList{"Ball", "Tetra"}));
  EXPECT_EQ(form->catalogue().baseVersion(), "7");
  EXPECT_EQ(widget<QWidget>(*form, "pictureFrame")->height(), 169);
  EXPECT_EQ(form->catalogue().gameCount(), 4);
  EXPECT_EQ(form->catalogue().serverGameCount(), 2);

  // The own "Ball" never takes the server game's file name, though that game's files are not on disk.
  const std::string ballFile = ownEntryFile("Ball");
  EXPECT_NE(ballFile, "ball");
  EXPECT_EQ(readFile("Base/games/" + ballFile + ".jar"), jar("Ball"));
  EXPECT_FALSE(exists("Base/games/ball.jar"));
  const std::string tetraJad = readFile("Base/games/tetra.jad");
  EXPECT_NE(tetraJad.find("MIDlet-Jar-URL: tetra_suite.jar\r\n"), std::string::npos);
  EXPECT_NE(tetraJad.find("MIDlet-Jar-Size: " + std::to_string(jar("Tetra").size()) + "\r\n"), std::string::npos);

  // The own node shows the own game, not the main catalogue's game of the same name.
  QTreeWidgetItem* ownBall = rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)->child(0);
  widget<QTreeWidget>(*form, "catalogueTree")->setCurrentItem(ownBall);
  EXPECT_EQ(form->catalogue().currentGameFile(), ballFile);
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadGameButton")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  widget<QCheckBox>(*form, "markGameBox")->click();

  form->phone().connectPhone();
  ASSERT_TRUE(PluginBinding::isConnected());
  widget<QToolButton>(*form, "uploadMarkedButton")->click();
  EXPECT_EQ(readFile(phone("java/" + ballFile + "_suite.jar")), jar("Ball"));
  EXPECT_EQ(readFile(phone("java/" + ballFile + "_suite.jad")), readFile("Base/games/" + ballFile + ".jad"));
  EXPECT_EQ(readFile(phone("javalist.txt")), "Ball\r\n");
}

TEST_F(OwnGames, ProblemsAreShownFirstAndNothingIsWrittenUntilTheUserAgrees) {
  writeFile(dir / "in/good.jar", jar("Good"));
  writeFile(dir / "in/broken.jar", "not a zip at all");
  writeFile(dir / "in/lonely.jad", "MIDlet-Name: Lonely\r\nMIDlet-Jar-URL: gone.jar\r\n");
  writeFile(dir / "in/readme.txt", "text");
  prompter.answers = {MsgButton::No};
  addThroughMenu({source("good.jar"), source("broken.jar"), source("lonely.jad"), source("readme.txt")});
  ASSERT_EQ(prompter.asked.size(), 1u);
  const QString question = prompter.asked[0].text;
  EXPECT_TRUE(question.startsWith(QStringLiteral("Будут добавлены в «Мои игры» игры: 1.")));
  for (const char* part : {"broken.jar", "lonely.jad", "readme.txt"}) EXPECT_TRUE(question.contains(part)) << part;
  EXPECT_FALSE(exists("Mygames.xml"));
  EXPECT_FALSE(exists("Base/games/good.jar"));
  EXPECT_EQ(roots(widget<QTreeWidget>(*form, "catalogueTree")), (QStringList{QStringLiteral("X100"), News}));

  // Nothing that can be added: an error, nothing asked, nothing written.
  prompter.clear();
  addThroughMenu({source("broken.jar")});
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_TRUE(prompter.errors()[0].startsWith(QStringLiteral("Ни одна игра не добавлена:")));
  EXPECT_FALSE(exists("Mygames.xml"));
  // The dialog cancelled: nothing at all.
  prompter.clear();
  addThroughMenu({});
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(OwnGames, TheTablesCapacityCountsBothCataloguesAndAFullOneRefusesTheWholeAdd) {
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 0; i < 999; ++i) many.emplace_back("G" + std::to_string(i), "g" + std::to_string(i));
  writeFile("Javadata.xml", serverCatalogue(many));
  form->browser().loadCatalogue();
  writeFile(dir / "in/a.jar", jar("A"));
  writeFile(dir / "in/b.jar", jar("B"));
  addThroughMenu({source("a.jar"), source("b.jar")});
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_EQ(prompter.errors()[0],
            QStringLiteral("В каталоге нет места для 2 игр: в таблицах до 1000 игр, свободно 1. Ничего не добавлено."));
  EXPECT_FALSE(exists("Mygames.xml"));
  EXPECT_FALSE(exists("Base/games/a.jar"));
  // One fits.
  prompter.clear();
  addThroughMenu({source("a.jar")});
  EXPECT_TRUE(prompter.errors().empty());
  EXPECT_EQ(form->catalogue().gameCount(), 1000);
  EXPECT_EQ(childTexts(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)), QStringList{"A"});
}

TEST_F(OwnGames, RemovalAsksThenTakesTheEntryAndItsFilesAndTheLastOneTakesTheFile) {
  writeFile(dir / "in/one.jar", jar("One"));
  writeFile(dir / "in/one.gif", testsupport::animatedGif(10, 10, 2));  // the picture beside becomes the screenshot
  writeFile(dir / "in/two.jar", jar("Two"));
  writeFile("Base/screen/one.gif", "a server's screenshot of that name");
  addThroughMenu({source("one.jar"), source("two.jar")});
  ASSERT_TRUE(prompter.errors().empty());
  const int one = form->catalogue().firstGameNamed("One", true);
  const std::string oneScreen = form->catalogue().game(one).screen;
  EXPECT_NE(oneScreen, "one.gif");  // the existing screenshot is never replaced
  EXPECT_EQ(readFile("Base/screen/one.gif"), "a server's screenshot of that name");
  EXPECT_TRUE(exists("Base/screen/" + oneScreen));

  // The menu item shows on own games only.
  form->prepareCatalogueMenu(
      rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), QStringLiteral("X100"))->child(0)->child(0));
  EXPECT_FALSE(widget<QAction>(*form, "removeOwnGameAction")->isVisible());
  form->prepareCatalogueMenu(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot));
  EXPECT_FALSE(widget<QAction>(*form, "removeOwnGameAction")->isVisible());
  form->prepareCatalogueMenu(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)->child(0));
  EXPECT_TRUE(widget<QAction>(*form, "removeOwnGameAction")->isVisible());
  // The item lives in a menu of its own; the tree's menu and "Файл" keep exactly their items.
  EXPECT_EQ(widget<QMenu>(*form, "catalogueMenu")->actions(),
            QList<QAction*>{widget<QAction>(*form, "showMarkedAction")});
  EXPECT_EQ(
      widget<QMenu>(*form, "ownGameMenu")->actions(),
      (QList<QAction*>{widget<QAction>(*form, "showMarkedAction"), widget<QAction>(*form, "removeOwnGameAction")}));
  QStringList fileItems;
  for (QAction* a : widget<QMenu>(*form, "fileMenu")->actions())
    fileItems << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(fileItems,
            (QStringList{QStringLiteral("Соединиться с телефоном"), QStringLiteral("Отключиться от телефона"),
                         QStringLiteral("-"), QStringLiteral("Обновить базу"), QStringLiteral("Перекомпилировать Java"),
                         QStringLiteral("-"), QStringLiteral("Выход")}));

  prompter.clear();
  prompter.answers = {MsgButton::No};
  widget<QAction>(*form, "removeOwnGameAction")->trigger();
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].text,
            QStringLiteral("Удалить игру «One» из моих игр?\nЕё файлы будут удалены из Base/games."));
  EXPECT_TRUE(exists("Base/games/one.jar"));

  prompter.answers = {MsgButton::Yes};
  widget<QAction>(*form, "removeOwnGameAction")->trigger();
  EXPECT_FALSE(exists("Base/games/one.jar"));
  EXPECT_FALSE(exists("Base/games/one.jad"));
  EXPECT_FALSE(exists("Base/screen/" + oneScreen));
  EXPECT_EQ(readFile("Base/screen/one.gif"), "a server's screenshot of that name");
  EXPECT_TRUE(exists("Base/games/two.jar"));
  EXPECT_EQ(childTexts(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)), QStringList{"Two"});

  form->prepareCatalogueMenu(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)->child(0));
  prompter.answers = {MsgButton::Yes};
  widget<QAction>(*form, "removeOwnGameAction")->trigger();
  EXPECT_FALSE(exists("Mygames.xml"));
  EXPECT_FALSE(exists("Base/games/two.jar"));
  EXPECT_EQ(roots(widget<QTreeWidget>(*form, "catalogueTree")), (QStringList{QStringLiteral("X100"), News}));
  EXPECT_EQ(form->catalogue().gameCount(), 2);
}

TEST_F(OwnGames, AFolderDroppedOnTheWindowIsAddedWithItsSubfolders) {
  writeFile(dir / "in/pack/a.jar", jar("Alpha"));
  writeFile(dir / "in/pack/more/b.jar", jar("Beta"));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(source("pack")), QUrl(QStringLiteral("https://example.org/x.jar"))});
  QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  enter.setAccepted(false);
  QCoreApplication::sendEvent(form.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(form.get(), &drop);
  EXPECT_TRUE(prompter.errors().empty());
  EXPECT_EQ(childTexts(rootNamed(widget<QTreeWidget>(*form, "catalogueTree"), OwnRoot)),
            (QStringList{"Alpha", "Beta"}));

  // Text alone is no game: the window does not take it.
  QMimeData text;
  text.setText(QStringLiteral("a.jar"));
  QDragEnterEvent refused(QPoint(400, 300), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QCoreApplication::sendEvent(form.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(OwnGames, AnOwnCatalogueThatCannotBeReadLeavesTheMainOneLoadedAndIsNeverOverwritten) {
  std::filesystem::create_directory(dir / "Mygames.xml");
  prompter.clear();
  form->browser().loadCatalogue();
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_TRUE(prompter.errors()[0].startsWith(QStringLiteral("Мои игры (Mygames.xml) не загружены:")));
  EXPECT_EQ(roots(widget<QTreeWidget>(*form, "catalogueTree")), (QStringList{QStringLiteral("X100"), News}));
  writeFile(dir / "in/a.jar", jar("A"));
  prompter.clear();
  addThroughMenu({source("a.jar")});
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_FALSE(exists("Base/games/a.jar"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Mygames.xml"));
}

// ---- The command line ----

TEST(OwnGamesCommandLine, OptionsAndPaths) {
  using quorrel::CommandLine;
  using quorrel::parseCommandLine;
  EXPECT_EQ(parseCommandLine({}).action, CommandLine::Action::Run);
  EXPECT_EQ(parseCommandLine({"a.jar", "dir"}).paths, (QStringList{"a.jar", "dir"}));
  EXPECT_EQ(parseCommandLine({"a.jar", "--help"}).action, CommandLine::Action::Help);
  EXPECT_EQ(parseCommandLine({"--version"}).text, QStringLiteral("Quorrel " QUORREL_VERSION "\n"));
  EXPECT_EQ(parseCommandLine({"--", "--help"}).paths, QStringList{"--help"});
  const CommandLine wrong = parseCommandLine({"--bogus"});
  EXPECT_EQ(wrong.action, CommandLine::Action::Error);
  EXPECT_TRUE(wrong.text.contains(QStringLiteral("«--bogus»")));
  // The toolkit's own options are passed over before the toolkit takes them, and refused after.
  EXPECT_EQ(parseCommandLine({"-style", "fusion"}, true).action, CommandLine::Action::Run);
  EXPECT_EQ(parseCommandLine({"-style"}).action, CommandLine::Action::Error);
  EXPECT_EQ(parseCommandLine({"-"}).paths, QStringList{"-"});
}

TEST(OwnGamesCommandLine, TheProgramPrintsHelpAndVersionWithoutADisplayAndAddsTheGamesItIsGiven) {
  testsupport::TempWorkDir dir;
  const QString program = QString::fromStdString(testsupport::binDir() + "Quorrel");
  QProcessEnvironment bare;
  bare.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
  QProcess help;
  help.setProcessEnvironment(bare);
  help.start(program, {QStringLiteral("--help")});
  ASSERT_TRUE(help.waitForFinished(20000));
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_TRUE(QString::fromUtf8(help.readAllStandardOutput()).startsWith(QStringLiteral("Использование: quorrel")));
  QProcess version;
  version.setProcessEnvironment(bare);
  version.start(program, {QStringLiteral("--version")});
  ASSERT_TRUE(version.waitForFinished(20000));
  EXPECT_EQ(version.exitCode(), 0);
  EXPECT_EQ(version.readAllStandardOutput(), QByteArray("Quorrel " QUORREL_VERSION "\n"));

  // A game named on the command line lands in "Мои игры" once the window is up.
  writeSettings();
  writeFile("Javadata.xml", serverCatalogue({{"Ball", "ball"}}));
  writeFile("in/tetra.jar", jar("Tetra"));
  QProcess run;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  run.setProcessEnvironment(env);
  run.setWorkingDirectory(QString::fromStdString(dir.path()));
  run.start(program, {QStringLiteral("in/tetra.jar")});
  ASSERT_TRUE(run.waitForStarted(20000));
  for (int i = 0; i < 200 && !exists("Base/games/tetra.jar"); ++i) QThread::msleep(50);
  for (int i = 0; i < 200 && !exists("Mygames.xml"); ++i) QThread::msleep(50);
  run.kill();
  run.waitForFinished(20000);
  EXPECT_EQ(readFile("Base/games/tetra.jar"), jar("Tetra"));
  EXPECT_NE(readFile("Mygames.xml").find("<game name=\"Tetra\">"), std::string::npos);
}

}  // namespace
