// The catalogue browser on the real main window: what the details pane shows for folders, news and games,
// the per-game buttons, the marks, the animated pictures and the errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBrowser.h"
#include "catalogue/MarkedGamesDialog.h"
#include "common/Paths.h"
#include "common/ShownText.h"
#include "settings/Settings.h"
#include "support/Gif.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using testsupport::animatedGif;
using testsupport::cp1251;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::widget;
using testsupport::writeFile;

namespace {


// Two folders with games, an empty folder, and a second folder of the same name as the first.
std::string catalogue() {
  return cp1251(
      "<model name=\"SGH-X100\" disp=\"128\" desc=\"Телефон Samsung\" vers=\"3.1\" pic=\"x100\">\r\n"
      "<folder name=\"Аркады\" desc=\"Быстрые игры\" pic=\"arc\">\r\n"
      "<game name=\"Мячик\">\r\n<size=\"12345\">\r\n<file=\"ball\">\r\n<screen=\"ball.gif\">\r\n"
      "<owner=\"Иван\">\r\n<desc=\"Прыгающий мяч\">\r\n"
      "<game name=\"Змейка\">\r\n<size=\"500\">\r\n<file=\"snake\">\r\n<screen=\"snake.gif\">\r\n"
      "<owner=\"Пётр\">\r\n<desc=\"Длинная змея\">\r\n"
      "<game name=\"Без картинки\">\r\n<size=\"7\">\r\n<file=\"noscreen\">\r\n<screen=\"\">\r\n<desc=\"\">\r\n"
      "</folder>\r\n"
      "<folder name=\"Пустая\" desc=\"Здесь пока ничего нет\" pic=\"missing\">\r\n</folder>\r\n"
      "<folder name=\"Логика\" desc=\"Первая\" pic=\"logic1\">\r\n"
      "<game name=\"Мячик\">\r\n<size=\"999\">\r\n<file=\"ball2\">\r\n<screen=\"ball2.gif\">\r\n<desc=\"Другой\">\r\n"
      "</folder>\r\n"
      "<folder name=\"Логика\" desc=\"Вторая\" pic=\"logic2\">\r\n"
      "<game name=\"Кубик\">\r\n<size=\"1\">\r\n<file=\"cube\">\r\n<screen=\"cube.gif\">\r\n<desc=\"к\">\r\n"
      "</folder>\r\n<end>\r\n");
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile("Base/games/.keep", "");
    writeFile("Base/dir/x100.gif", animatedGif(60, 40, 2));
    writeFile("Base/dir/arc.gif", animatedGif(48, 32, 3));
    writeFile("Base/dir/logic1.gif", animatedGif(11, 11, 2));
    writeFile("Base/dir/logic2.gif", animatedGif(22, 22, 2));
    writeFile("Base/dir/template.gif", animatedGif(16, 16, 2));
    writeFile("Base/dir/news.gif", animatedGif(30, 20, 2));
    writeFile("Base/screen/noscr.gif", animatedGif(64, 64, 2));
    writeFile("Base/screen/ball.gif", animatedGif(120, 100, 4));
    writeFile("Base/news.new", cp1251("Вышла версия 1.2\r\nНовые игры\r\n"));
    writeFile("Javadata.xml", catalogue());
    // A virtual phone on COM1, for the cases that need a connected one.
    ::setenv("SGHFS_PHONES", (dir.path() + "phones").c_str(), 1);
    writeFile("phones/COM1/phone.ini", "Manufacturer=SAMSUNG\r\nModel=SGH-X100\r\nSerial=350123456789012\r\n");
    form = std::make_unique<MainWindow>(&prompter);
    form->settings().setComPort("COM1");
    // Loaded here, independently of whatever the start-up settings read does with this folder.
    form->guarded([this] { form->browser().loadCatalogue(); });
    form->settings().setUpdateServer("http://games.example/");
    prompter.clear();
  }

  void TearDown() override {
    form.reset();
    ::unsetenv("SGHFS_PHONES");
  }

  // Connects the window to the virtual phone, or disconnects it, as the user would.
  void connectPhone(bool connected) {
    if (connected == form->phone().connected()) return;
    if (connected) {
      form->phone().connectPhone();
    } else {
      form->phone().disconnectPhone();
    }
    ASSERT_EQ(form->phone().connected(), connected);
  }

  // The node reached by following node texts from a root.
  QTreeWidgetItem* node(std::initializer_list<const char*> path) const {
    QTreeWidgetItem* current = nullptr;
    for (const char* text : path) {
      QTreeWidgetItem* next = nullptr;
      const int n = current ? current->childCount() : widget<QTreeWidget>(*form, "catalogueTree")->topLevelItemCount();
      for (int i = 0; i < n && !next; ++i) {
        QTreeWidgetItem* c = current ? current->child(i) : widget<QTreeWidget>(*form, "catalogueTree")->topLevelItem(i);
        if (c->text(0) == QString::fromUtf8(text)) next = c;
      }
      if (!next) ADD_FAILURE() << "no node " << text;
      current = next;
    }
    return current;
  }
  QTreeWidgetItem* ball() const { return node({"SGH-X100", "Аркады", "Мячик"}); }
  QTreeWidgetItem* snake() const { return node({"SGH-X100", "Аркады", "Змейка"}); }
  QTreeWidgetItem* arcade() const { return node({"SGH-X100", "Аркады"}); }
  QTreeWidgetItem* news() const { return node({"Новости"}); }

  void select(QTreeWidgetItem* item) const { widget<QTreeWidget>(*form, "catalogueTree")->setCurrentItem(item); }

  QSize pictureBox() const { return widget<QLabel>(*form, "pictureBox")->size(); }

  TempWorkDir dir;
  ScriptedPrompter prompter;
  std::unique_ptr<MainWindow> form;
};

}  // namespace

// ---- What the pane shows ----------------------------------------------------------------------------------

TEST_F(BrowserTest, GameShowsItsDetailsLinkAndPlayingScreenshot) {
  select(ball());
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Мячик"));
  EXPECT_EQ(widget<QLabel>(*form, "sizeLabel")->text(), QStringLiteral("12345 байт"));
  EXPECT_EQ(widget<QLabel>(*form, "contributorLabel")->text(), QStringLiteral("Иван"));
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Прыгающий мяч"));
  EXPECT_EQ(widget<QLineEdit>(*form, "wapLinkEdit")->text(),
            QStringLiteral("http://games.example/Base/games/ball.jad"));
  EXPECT_EQ(form->catalogue().currentGame(), 1);
  EXPECT_EQ(form->catalogue().currentGameFile(), "ball");
  EXPECT_EQ(form->catalogue().currentGameScreen(), "ball.gif");
  EXPECT_FALSE(widget<QCheckBox>(*form, "markGameBox")->isHidden());

  // The screenshot plays in a box of its own size at 5,5 inside the frame.
  ASSERT_NE(form->browser().pictureMovie(), nullptr);
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->movie(), form->browser().pictureMovie());
  EXPECT_EQ(form->browser().pictureMovie()->frameCount(), 4);
  EXPECT_EQ(form->browser().pictureMovie()->state(), QMovie::Running);
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->geometry(), QRect(5, 5, 120, 100));
  // And it really moves on to further frames.
  QElapsedTimer waited;
  waited.start();
  while (form->browser().pictureMovie()->currentFrameNumber() < 2 && waited.elapsed() < 5000) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  EXPECT_GE(form->browser().pictureMovie()->currentFrameNumber(), 2);
}

TEST_F(BrowserTest, FolderAndModelShowTheirEntryAndEmptyTheScreenshot) {
  select(ball());
  select(arcade());
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Аркады"));
  EXPECT_EQ(widget<QLabel>(*form, "sizeLabel")->text(), QStringLiteral("0 байт"));
  EXPECT_EQ(widget<QLabel>(*form, "contributorLabel")->text(), QString());
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Быстрые игры"));
  EXPECT_EQ(widget<QLineEdit>(*form, "wapLinkEdit")->text(), QString());
  EXPECT_TRUE(widget<QCheckBox>(*form, "markGameBox")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadGameButton")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  EXPECT_EQ(form->catalogue().currentGameScreen(), "");
  EXPECT_EQ(form->catalogue().currentGameFile(), "ball");  // only a game display sets it
  EXPECT_EQ(pictureBox(), QSize(48, 32));
  EXPECT_EQ(form->browser().pictureMovie()->state(), QMovie::Running);

  select(node({"SGH-X100"}));
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Телефон Samsung"));
  EXPECT_EQ(pictureBox(), QSize(60, 40));

  // "Пустая" has no games, so no children, and its own picture file is missing.
  select(node({"SGH-X100", "Пустая"}));
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Здесь пока ничего нет"));
  EXPECT_EQ(pictureBox(), QSize(16, 16));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(BrowserTest, DuplicateNamesFolderLaterEntryGameLowerIndex) {
  // Both "Логика" folders show the later entry.
  select(node({"SGH-X100", "Логика"}));
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Вторая"));
  EXPECT_EQ(pictureBox(), QSize(22, 22));

  // The second "Мячик" node shows the first game of that name, its files and its mark.
  form->catalogue().setMark(1, 1 != 0);
  QTreeWidgetItem* logic = widget<QTreeWidget>(*form, "catalogueTree")->topLevelItem(0)->child(2);
  ASSERT_EQ(logic->text(0), QStringLiteral("Логика"));
  select(logic->child(0));
  EXPECT_EQ(form->catalogue().currentGame(), 1);
  EXPECT_EQ(form->catalogue().currentGameFile(), "ball");
  EXPECT_EQ(widget<QLabel>(*form, "sizeLabel")->text(), QStringLiteral("12345 байт"));
  EXPECT_TRUE(widget<QCheckBox>(*form, "markGameBox")->isChecked());
}

TEST_F(BrowserTest, NewsShowsTheNewsFileAndLeavesTheGameAlone) {
  select(ball());
  select(news());
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(),
            QStringLiteral("Вышла версия 1.2\nНовые игры"));
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Новости"));
  EXPECT_EQ(widget<QLabel>(*form, "sizeLabel")->text(), QString());
  EXPECT_EQ(widget<QLineEdit>(*form, "wapLinkEdit")->text(), QString());
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  EXPECT_EQ(form->catalogue().currentGameScreen(), "ball.gif");
  EXPECT_EQ(pictureBox(), QSize(30, 20));
}

TEST_F(BrowserTest, ChildlessNodeMatchingNothingChangesOnlyTheName) {
  select(ball());
  // A game line whose name is not in the table any more, as after a table overflow: the node stays, the
  // entry does not.
  form->catalogue().setGameCount(1);
  select(snake());
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Змейка"));
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Прыгающий мяч"));
  EXPECT_EQ(form->catalogue().currentGameFile(), "ball");
  EXPECT_TRUE(widget<QCheckBox>(*form, "markGameBox")->isHidden());
}

// ---- Buttons ----------------------------------------------------------------------------------------------

TEST_F(BrowserTest, ButtonsFollowTheFilesOnDiskAndTheConnection) {
  for (int combo = 0; combo < 16; ++combo) {
    const bool screenshot = combo & 1;
    const bool jad = combo & 2;
    const bool jar = combo & 4;
    const bool connected = combo & 8;
    SCOPED_TRACE(testing::Message() << "screenshot " << screenshot << " jad " << jad << " jar " << jar << " connected "
                                    << connected);
    testsupport::removeTree("Base/games");
    testsupport::removeTree("Base/screen/snake.gif");
    writeFile("Base/games/.keep", "");
    if (screenshot) writeFile("Base/screen/snake.gif", animatedGif(50, 50, 2));
    if (jad) writeFile("Base/games/snake.jad", "MIDlet-Name: Snake\r\n");
    if (jar) writeFile("Base/games/snake.jar", "PK");
    connectPhone(connected);

    select(arcade());
    select(snake());
    EXPECT_EQ(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden(), screenshot);
    EXPECT_EQ(widget<QToolButton>(*form, "downloadGameButton")->isHidden(),
              jad && jar);  // one file alone still offers the download
    EXPECT_EQ(widget<QToolButton>(*form, "uploadGameButton")->isHidden(), !(jad && jar && connected));
    EXPECT_EQ(pictureBox(), screenshot ? QSize(50, 50) : QSize(64, 64));
  }

  // An empty screenshot name names the folder "Base/screen/" itself, which is no picture.
  select(node({"SGH-X100", "Аркады", "Без картинки"}));
  EXPECT_FALSE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  EXPECT_EQ(pictureBox(), QSize(64, 64));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(BrowserTest, PictureLargerThanTheFrameIsCutOffAtTheFrame) {
  writeFile("Base/screen/ball.gif", animatedGif(300, 250, 2));
  form->show();
  select(ball());
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->geometry(), QRect(5, 5, 300, 250));
  EXPECT_EQ(widget<QWidget>(*form, "pictureFrame")->size(), QSize(138, 137));
  // Only the part inside the frame is painted.
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->visibleRegion().boundingRect(), QRect(0, 0, 133, 132));
}

// ---- Marks ------------------------------------------------------------------------------------------------

TEST_F(BrowserTest, TickingMarksAtOnceAndTheMarkSurvivesMovingAround) {
  select(ball());
  widget<QCheckBox>(*form, "markGameBox")->click();
  EXPECT_EQ(form->catalogue().games()[1].selected, 1);  // before the selection moves

  select(snake());
  EXPECT_FALSE(widget<QCheckBox>(*form, "markGameBox")->isChecked());
  select(arcade());
  select(news());
  EXPECT_EQ(form->catalogue().games()[2].selected, 0);
  select(ball());
  EXPECT_TRUE(widget<QCheckBox>(*form, "markGameBox")->isChecked());

  widget<QCheckBox>(*form, "markGameBox")->click();
  EXPECT_EQ(form->catalogue().games()[1].selected, 0);
  select(snake());
  select(ball());
  EXPECT_FALSE(widget<QCheckBox>(*form, "markGameBox")->isChecked());

  // Emptying the selection changes nothing.
  widget<QCheckBox>(*form, "markGameBox")->click();
  widget<QTreeWidget>(*form, "catalogueTree")->setCurrentItem(nullptr);
  EXPECT_FALSE(widget<QCheckBox>(*form, "markGameBox")->isHidden());
  EXPECT_EQ(form->catalogue().games()[1].selected, 1);
}

TEST_F(BrowserTest, ReloadCarriesNoMarkToTheGameNowAtTheSameIndex) {
  select(ball());
  widget<QCheckBox>(*form, "markGameBox")->click();
  // The new catalogue puts another game at index 1; its "<desc" line clears the mark there.
  writeFile("Javadata.xml", cp1251("<model name=\"M\" disp=\"128\">\r\n<game name=\"Танк\">\r\n<file=\"tank\">\r\n"
                                   "<desc=\"т\">\r\n<game name=\"Самолёт\">\r\n<desc=\"с\">\r\n<end>\r\n"));
  form->browser().loadCatalogue();
  EXPECT_EQ(form->catalogue().currentGame(), 0);
  EXPECT_TRUE(widget<QCheckBox>(*form, "markGameBox")->isHidden());

  select(node({"M", "Самолёт"}));
  EXPECT_EQ(form->catalogue().games()[1].selected, 0);
  select(node({"M", "Танк"}));
  EXPECT_FALSE(widget<QCheckBox>(*form, "markGameBox")->isChecked());
}

TEST_F(BrowserTest, MarkedGamesWindowListsMarksInTableOrderWithTotal) {
  // Opens the window from the tree's context menu and reads it while it is shown: its rows, then its total.
  auto shown = [this] {
    QStringList seen;
    QTimer::singleShot(0, form.get(), [&seen, this] {
      auto* window = form->findChild<MarkedGamesDialog*>();
      ASSERT_NE(window, nullptr);
      for (int i = 0; !window->gameList->isHidden() && i < window->gameList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = window->gameList->topLevelItem(i);
        seen << row->text(0) + " | " + row->text(1);
      }
      seen << window->totalLabel->text();
      window->closeButton->click();
    });
    widget<QAction>(*form, "showMarkedAction")->trigger();
    return seen;
  };

  EXPECT_EQ(shown(), QStringList{QStringLiteral("Ни одна игра не отмечена. Отметьте игры галочкой «Выбрать игру».")});

  select(snake());
  widget<QCheckBox>(*form, "markGameBox")->click();
  select(ball());
  widget<QCheckBox>(*form, "markGameBox")->click();  // ticked on the game still on display: listed at once
  EXPECT_EQ(shown(), (QStringList{QStringLiteral("Мячик | 12345 байт"), QStringLiteral("Змейка | 500 байт"),
                                  QStringLiteral("Отмечено игр: 2, общий размер: 12845 байт")}));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(MarkedGames, SizesThatAreNotNumbersAreLeftOutOfTheTotalAndCounted) {
  quorrel::GameTable games{};
  games[1] = {"A", "100", "a", "", "", "", 1};
  games[2] = {"B", "12 KB", "b", "", "", "", 1};
  games[3] = {"C", "", "c", "", "", "", 0};
  games[4] = {"D", "99999999999999999999999", "d", "", "", "", 1};
  games[5] = {"E", "5", "e", "", "", "", 1};  // beyond the count: a leftover of an earlier load
  const quorrel::MarkedGames m = quorrel::markedGames(games, 4);
  EXPECT_EQ(m.indices, (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(m.totalBytes, 100u);
  EXPECT_EQ(m.unknownSizes, 2);
}

// ---- Errors -----------------------------------------------------------------------------------------------

TEST_F(BrowserTest, MissingFallbackPictureIsReportedAndTheOldPictureGoes) {
  select(ball());
  testsupport::removeTree("Base/screen/noscr.gif");
  writeFile("Base/games/snake.jad", "j");
  writeFile("Base/games/snake.jar", "j");
  connectPhone(true);
  select(snake());
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_EQ(prompter.errors()[0],
            QString::fromStdString("Cannot open file \"" + dir.path() + "Base/screen/noscr.gif\". File not found."));
  // The details and the buttons are this game's; no picture stands beside them.
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Змейка"));
  EXPECT_EQ(form->catalogue().currentGameFile(), "snake");
  EXPECT_FALSE(widget<QToolButton>(*form, "uploadGameButton")->isHidden());
  EXPECT_FALSE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->movie(), nullptr);
  EXPECT_EQ(form->browser().pictureMovie(), nullptr);

  // The window carries on: the next display works.
  select(ball());
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->movie(), form->browser().pictureMovie());
  EXPECT_EQ(prompter.errors().size(), 1u);
}

TEST_F(BrowserTest, NotAGifOrNoNewsFileStopsThatDisplayWithAClearError) {
  select(ball());
  testsupport::removeTree("Base/news.new");
  select(news());
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_EQ(prompter.errors()[0],
            QString::fromStdString("Cannot open file \"" + dir.path() + "Base/news.new\". File not found."));
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(),
            QStringLiteral("Мячик"));  // nothing of the news display happened
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Прыгающий мяч"));

  writeFile("Base/dir/arc.gif", "\x89PNG\r\n\x1a\n not a gif at all");
  select(arcade());
  ASSERT_EQ(prompter.errors().size(), 2u);
  EXPECT_EQ(prompter.errors()[1],
            QString::fromStdString("Файл \"" + dir.path() + "Base/dir/arc.gif\" не является картинкой GIF."));
  EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(), QStringLiteral("Быстрые игры"));

  // A GIF header with nothing readable behind it is no better.
  writeFile("Base/dir/x100.gif", "GIF89a\x10");
  select(node({"SGH-X100"}));
  EXPECT_EQ(prompter.errors().size(), 3u);
  EXPECT_EQ(form->browser().pictureMovie(), nullptr);
}

// ---- Huge texts ---------------------------------------------------------------------------------------------

TEST_F(BrowserTest, HugeOneLineTextsAreCutBeforeTheWindowLaysThemOut) {
  const std::string mb3(3 << 20, 'w');
  auto logLines = [this](const QString& part) {
    int n = 0;
    for (int i = 0; i < widget<QComboBox>(*form, "messageLog")->count(); ++i)
      n += widget<QComboBox>(*form, "messageLog")->itemText(i).contains(part) ? 1 : 0;
    return n;
  };
  // The memo shows every character kept, in lines of at most 1000; a one-line field the first 1000.
  auto memoHolds = [this](qsizetype chars) {
    const QString text = widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText();
    EXPECT_EQ(text.size() - text.count(QLatin1Char('\n')), chars);
    qsizetype longest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) longest = std::max(longest, line.size());
    EXPECT_EQ(longest, 1000);
  };
  const QString catalogueCut = QStringLiteral("Каталог: слишком длинный текст обрезан");
  const QString newsCut = QStringLiteral("Новости длиннее 1 МБ");
  struct Case {
    const char* what;
    std::string catalogueLine;  // after the game line of "G"; empty: the catalogue stays as it is
    std::string news;           // the news file; empty: as it is
    std::function<void()> check;
  };
  const std::vector<Case> cases = {
      {"description", "<desc=\"" + mb3 + "\">", "", [&] { memoHolds(static_cast<qsizetype>(quorrel::MaxValueBytes)); }},
      {"owner, size and file", "<owner=\"" + mb3 + "\">\r\n<size=\"" + mb3 + "\">\r\n<file=\"" + mb3 + "\">", "",
       [&] {
         EXPECT_EQ(widget<QLabel>(*form, "contributorLabel")->text().size(), 1000);
         EXPECT_EQ(widget<QLabel>(*form, "sizeLabel")->text(),
                   QString(1000, QLatin1Char('w')) + QStringLiteral(" байт"));
         EXPECT_EQ(widget<QLineEdit>(*form, "wapLinkEdit")->text().size(), 1000);
         EXPECT_EQ(form->catalogue().currentGameFile().size(), quorrel::MaxValueBytes);
       }},
      {"news", "", mb3 + "\r\nsecond line",
       [&] {
         memoHolds(1 << 20);  // of a 3 MB first line, the first megabyte
         EXPECT_EQ(logLines(newsCut), 1);
       }},
      {"news of one line", "", std::string(40 << 20, 'n'), [&] { memoHolds(1 << 20); }},
      {"news of a megabyte of line breaks", "", "first\r\n" + std::string(1 << 20, '\n'),
       [&] {
         // The first lines, then an ellipsis in place of the rest.
         const QStringList lines =
             widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText().split(QLatin1Char('\n'));
         ASSERT_EQ(lines.size(), quorrel::MaxShownMemoLines + 1);
         EXPECT_EQ(lines.front(), QStringLiteral("first"));
         EXPECT_EQ(lines.back(), QStringLiteral("\u2026"));
       }},
      {"control characters and markup",
       cp1251("<owner=\"<b>Иван</b>\x07\">\r\n<desc=\"a\x01"
              "b\tc\rd\">\r\n<size=\"1\x1b\">\r\n"
              "<game name=\"x\x02<i>y</i>\">"),
       "",
       [&] {
         EXPECT_EQ(widget<QLabel>(*form, "contributorLabel")->text(), QStringLiteral("<b>Иван</b>\uFFFD"));
         EXPECT_EQ(widget<QLabel>(*form, "contributorLabel")->textFormat(), Qt::PlainText);
         EXPECT_EQ(widget<QLabel>(*form, "sizeLabel")->text(), QStringLiteral("1\uFFFD байт"));
         EXPECT_EQ(widget<QPlainTextEdit>(*form, "descriptionView")->toPlainText(),
                   QStringLiteral("a\uFFFDb\tc\uFFFDd"));
         const QTreeWidgetItem* model = node({"M"});
         ASSERT_EQ(model->childCount(), 2);
         EXPECT_EQ(model->child(1)->text(0), QStringLiteral("x\uFFFD<i>y</i>"));
         EXPECT_EQ(quorrel::CatalogueBrowser::nodeText(model->child(1)), "x\x02<i>y</i>");  // matched by its bytes
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    widget<QComboBox>(*form, "messageLog")->clear();
    if (!c.catalogueLine.empty()) {
      writeFile("Javadata.xml", "<model name=\"M\">\r\n<game name=\"G\">\r\n" + c.catalogueLine + "\r\n<end>\r\n");
      form->browser().loadCatalogue();
      const bool huge = c.catalogueLine.size() > quorrel::MaxValueBytes;
      EXPECT_EQ(logLines(catalogueCut), huge ? 1 : 0);  // said once for the whole load
      select(node({"M", "G"}));
    }
    if (!c.news.empty()) {
      writeFile("Base/news.new", c.news);
      select(news());
    }
    EXPECT_TRUE(prompter.asked.empty());
    c.check();
    select(node({"M"}));
  }
}

TEST_F(BrowserTest, NewsThatIsNotARegularFileIsAnErrorNotAHang) {
  select(ball());
  testsupport::removeTree("Base/news.new");
  ASSERT_EQ(::mkfifo("Base/news.new", 0600), 0);
  select(news());
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_EQ(prompter.errors()[0],
            QString::fromStdString("Cannot open file \"" + dir.path() + "Base/news.new\". File access denied."));
}

// ---- Finding a game --------------------------------------------------------------------------------------

TEST_F(BrowserTest, FindShowsEachGameHoldingTheTextInTreeOrderAndSaysWhenNoneDoes) {
  form->show();
  // Name, contributor and description, case aside in Cyrillic too; round the tree past its end; the node two
  // folders hold ("Мячик") is reached under each, and folders or the news never count.
  prompter.inputs = {QStringLiteral("МЯ")};
  widget<QAction>(*form, "findGameAction")->trigger();
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->currentItem(), ball());
  EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Мячик"));
  widget<QAction>(*form, "findNextGameAction")
      ->trigger();  // "Прыгающий мяч" is the same game; the next is the other "Мячик"
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->currentItem(), node({"SGH-X100", "Логика", "Мячик"}));
  EXPECT_TRUE(node({"SGH-X100", "Логика"})->isExpanded());
  widget<QAction>(*form, "findNextGameAction")->trigger();
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->currentItem(), ball());

  prompter.inputs = {QStringLiteral("пётр")};
  widget<QAction>(*form, "findGameAction")->trigger();
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->currentItem(), snake());
  EXPECT_EQ(prompter.asked.size(), 0u);

  select(arcade());
  prompter.inputs = {QStringLiteral("Логика")};  // a folder's name, no game's
  widget<QAction>(*form, "findGameAction")->trigger();
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->currentItem(), arcade());
  EXPECT_EQ(prompter.texts(), std::vector<QString>{QStringLiteral("Игра, в которой есть «Логика», не найдена.")});

  prompter.clear();
  prompter.inputs = {QString()};  // cancelled: nothing moves
  widget<QAction>(*form, "findGameAction")->trigger();
  EXPECT_EQ(widget<QTreeWidget>(*form, "catalogueTree")->currentItem(), arcade());
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(widget<QAction>(*form, "findGameAction")->shortcut(), QKeySequence(QKeySequence::Find));
  EXPECT_EQ(widget<QAction>(*form, "findNextGameAction")->shortcut(), QKeySequence(Qt::Key_F3));
}

// ---- Names that leave their folders ------------------------------------------------------------------------

TEST(PathInFolder, NamesAreJudgedOnTheirTextBeforeAnythingOnDiskIsAsked) {
  struct Case {
    const char* name;
    bool stays;
  };
  const Case cases[] = {
      {"ball.gif", true},          {"sub/ball.gif", true},      {"sub\\ball.gif", true},
      {"", true},                  {"a..b.gif", true},          {"..gif", true},
      {"...", true},               {"./ball.gif", true},        {"../ball.gif", false},
      {"..\\ball.gif", false},     {"..", false},               {"sub/../../x", false},
      {"sub\\..\\x", false},       {"sub/..", false},           {"/etc/passwd", false},
      {"\\etc\\passwd", false},    {"//host/x", false},         {"a/../b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(quorrel::staysInFolder(c.name), c.stays) << c.name;
    const std::string path = quorrel::pathInFolder("Base\\screen\\", c.name);
    EXPECT_EQ(path.empty(), !c.stays) << c.name;
    if (c.stays) {
      EXPECT_EQ(path, quorrel::localPath(std::string("Base\\screen\\") + c.name)) << c.name;
    }
  }
}

TEST_F(BrowserTest, NamesThatLeaveTheirFoldersAreNeitherReadNorTested) {
  // Real files stand where each name leads, so that a read or a test would show.
  writeFile("secret.gif", animatedGif(77, 33, 2));
  writeFile("secret.jad", "j");
  writeFile("secret.jar", "j");
  const std::string absolute = dir.path() + "secret.gif";
  writeFile("Javadata.xml",
            "<model name=\"M\" vers=\"1\" pic=\"../../secret\">\r\n"
            "<folder name=\"F\" pic=\"..\\..\\secret\">\r\n"
            "<game name=\"Up\">\r\n<file=\"../../secret\">\r\n<screen=\"../../secret.gif\">\r\n"
            "<game name=\"Abs\">\r\n<file=\"x\">\r\n<screen=\"" +
                absolute + "\">\r\n</folder>\r\n<end>\r\n");
  form->guarded([this] { form->browser().loadCatalogue(); });
  connectPhone(true);
  const auto lines = [this] {
    QStringList out;
    for (int i = widget<QComboBox>(*form, "messageLog")->count() - 1; i >= 0; --i) {
      const QString line = widget<QComboBox>(*form, "messageLog")->itemText(i);
      out << line.mid(line.indexOf(QLatin1Char(' ')));
    }
    return out;
  };
  const auto refused = [](const QString& path, const QString& folder) {
    return QStringLiteral(" Путь ") + path + QStringLiteral(" выходит за пределы папки ") + folder +
           QStringLiteral(": файл не прочитан.");
  };

  widget<QComboBox>(*form, "messageLog")->clear();
  select(node({"M", "F", "Up"}));
  EXPECT_EQ(lines(), (QStringList{refused("Base/screen/../../secret.gif", "Base/screen/"),
                                  refused("Base/games/../../secret.jad", "Base/games/")}));
  EXPECT_EQ(pictureBox(), QSize(64, 64));  // noscr.gif
  // Nothing can be fetched or sent under such names.
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadScreenshotButton")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(*form, "downloadGameButton")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(*form, "uploadGameButton")->isHidden());

  widget<QComboBox>(*form, "messageLog")->clear();
  select(node({"M", "F", "Abs"}));
  EXPECT_EQ(lines(), QStringList{refused("Base/screen/" + QString::fromStdString(absolute), "Base/screen/")});
  EXPECT_EQ(pictureBox(), QSize(64, 64));

  widget<QComboBox>(*form, "messageLog")->clear();
  select(node({"M", "F"}));
  EXPECT_EQ(lines(), QStringList{refused("Base/dir/..\\..\\secret.gif", "Base/dir/")});
  EXPECT_EQ(pictureBox(), QSize(16, 16));  // template.gif
  select(node({"M"}));
  EXPECT_EQ(pictureBox(), QSize(16, 16));
  EXPECT_TRUE(prompter.asked.empty());
}

// ---- Pictures too large to decode -------------------------------------------------------------------------

TEST_F(BrowserTest, PictureWhoseFramesWouldFillTheMemoryIsNotDecoded) {
  // Real GIFs of a few kilobytes whose headers claim what their frames would take once decoded: a canvas of
  // 65535 x 65535, and 300 frames of 600 x 600 (430 MB).
  std::string hugeCanvas = animatedGif(4, 4, 2);
  hugeCanvas[6] = hugeCanvas[7] = hugeCanvas[8] = hugeCanvas[9] = '\xff';
  std::string manyFrames = animatedGif(4, 4, 300);
  manyFrames[6] = static_cast<char>(600 & 0xff);
  manyFrames[7] = static_cast<char>(600 >> 8);
  manyFrames[8] = manyFrames[6];
  manyFrames[9] = manyFrames[7];
  // Just below the bound: 200 frames of 600 x 500 (240 MB) still play.
  std::string belowBound = animatedGif(4, 4, 200);
  belowBound[6] = manyFrames[6];
  belowBound[7] = manyFrames[7];
  belowBound[8] = static_cast<char>(500 & 0xff);
  belowBound[9] = static_cast<char>(500 >> 8);

  for (const auto& [gif, megabytes] : {std::pair{hugeCanvas, 32767}, std::pair{manyFrames, 411}}) {
    SCOPED_TRACE(megabytes);
    writeFile("Base/screen/ball.gif", gif);
    select(snake());
    widget<QComboBox>(*form, "messageLog")->clear();
    select(ball());
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(form->browser().pictureMovie(), nullptr);
    EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->text(), QStringLiteral("Картинка слишком велика"));
    ASSERT_EQ(widget<QComboBox>(*form, "messageLog")->count(), 1);
    const QString line = widget<QComboBox>(*form, "messageLog")->itemText(0);
    EXPECT_TRUE(line.endsWith(QString::fromStdString(" Картинка " + dir.path() + "Base/screen/ball.gif") +
                              QStringLiteral(" не показана: её кадры заняли бы %1 МБ памяти, больше 256 МБ.")
                                  .arg(megabytes)))
        << line.toStdString();
    EXPECT_EQ(widget<QLabel>(*form, "nameLabel")->text(), QStringLiteral("Мячик"));
  }

  writeFile("Base/screen/ball.gif", belowBound);
  select(snake());
  select(ball());
  ASSERT_NE(form->browser().pictureMovie(), nullptr);
  EXPECT_EQ(widget<QLabel>(*form, "pictureBox")->text(), QString());
  EXPECT_TRUE(prompter.asked.empty());
}
