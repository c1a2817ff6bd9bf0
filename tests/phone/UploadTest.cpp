// Uploading games and compiling the Java list on the real main window, with the virtual phone and with odd
// plugins.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>

#include "OddPluginControl.h"
#include "PhoneFixture.h"
#include "phone/JavaListOrderDialog.h"
#include "support/Widgets.h"

using testsupport::widget;

namespace {

const QString Started = QStringLiteral(" Начинается компиляция java.");
const QString Finished = QStringLiteral(" Компиляция java завершена.");

QString sent(const QString& phonePath) {
  return QStringLiteral(" Файл ") + phonePath + QStringLiteral(" отправлен в телефон.");
}
QString notSent(const QString& phonePath) {
  return QStringLiteral(" Не удалось отправить файл ") + phonePath + QStringLiteral(" в телефон.");
}

class Upload : public PhoneWindow {
 protected:
  // A game at a table index, with its two files in Base/games; its descriptor names it `name`.
  void addGame(int index, const std::string& file, const std::string& name, bool marked) {
    testsupport::writeFile("Base/games/" + file + ".jad",
                           "MIDlet-Name: " + name + "\r\nMIDlet-Jar-URL: " + file + ".jar\r\n");
    testsupport::writeFile("Base/games/" + file + ".jar", "PK jar of " + name);
    quorrel::GameEntry game = form->catalogue().game(index);
    game.file = file;
    game.name = name;
    game.selected = marked ? 1 : 0;
    form->catalogue().setGame(index, game);
  }

  void connectPhone() {
    form->phone().connectPhone();
    ASSERT_TRUE(PluginBinding::isConnected());
    widget<QComboBox>(*form, "messageLog")->clear();
  }

  void manualSorting() { form->settings().setSortMarks(false, true); }

  std::vector<std::string> putLines() const {
    std::vector<std::string> out;
    const std::string ops = testsupport::readFile(phone("operations.log"));
    for (std::size_t at = 0; (at = ops.find("put ", at)) != std::string::npos; ++at) {
      out.push_back(ops.substr(at + 4, ops.find(' ', at + 4) - at - 4));
    }
    return out;
  }

  std::string javaList() const { return testsupport::readFile(phone("javalist.txt")); }

  // Runs `step` on the sort dialog once it is shown (it is shown modally from inside the plugin call).
  void whenOrderDialogShows(std::function<void(JavaListOrderDialog*)> step, int attempts = 300) {
    QTimer::singleShot(10, form.get(), [this, step, attempts] {
      if (form->javaListOrderDialog()->isVisible()) {
        step(form->javaListOrderDialog());
        ++dialogsSeen;
      } else if (attempts > 0) {
        whenOrderDialogShows(step, attempts - 1);
      }
    });
  }

  int dialogsSeen = 0;
};

void selectAndMoveUp(JavaListOrderDialog* dialog, int row) {
  widget<QListWidget>(*dialog, "entryList")->setCurrentRow(row);
  widget<QToolButton>(*dialog, "moveUpButton")->click();
}

}  // namespace

TEST_F(Upload, SingleGameLandsOnThePhoneAndTheLogTellsTheWholeStory) {
  addGame(1, "ball", "Ball", false);
  connectPhone();
  form->catalogue().setCurrentGameFile("ball");
  form->phone().uploadCurrentGame();

  EXPECT_EQ(testsupport::readFile(phone("java/ball_suite.jad")), testsupport::readFile("Base/games/ball.jad"));
  EXPECT_EQ(testsupport::readFile(phone("java/ball_suite.jar")), "PK jar of Ball");
  EXPECT_EQ(putLines(), (std::vector<std::string>{"/java/ball_suite.jad", "/java/ball_suite.jar"}));
  EXPECT_EQ(log(), (QStringList{Finished, Started, sent("/java/ball_suite.jar"), sent("/java/ball_suite.jad")}));
  EXPECT_EQ(javaList(), "Ball\r\n");
  EXPECT_FALSE(form->commandState().busy());
  EXPECT_TRUE(widget<QTreeWidget>(*form, "catalogueTree")->isEnabled());
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->value(), 0);
  EXPECT_EQ(widget<QLabel>(*form, "transferLabel")->text(), QString());
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::PluginMessage), QString());
}

TEST_F(Upload, BatchSendsTheMarkedGamesInTableOrderThenCompilesOnce) {
  addGame(1, "gamma", "gamma", true);
  addGame(2, "skip", "Skip", false);
  addGame(3, "beta", "beta", true);
  addGame(4, "alpha", "Alpha", true);
  connectPhone();
  widget<QToolButton>(*form, "uploadMarkedButton")->click();

  EXPECT_EQ(putLines(),
            (std::vector<std::string>{"/java/gamma_suite.jad", "/java/gamma_suite.jar", "/java/beta_suite.jad",
                                      "/java/beta_suite.jar", "/java/alpha_suite.jad", "/java/alpha_suite.jar"}));
  EXPECT_FALSE(testsupport::exists(phone("java/skip_suite.jad")));
  EXPECT_EQ(log().count(Started), 1);
  EXPECT_EQ(javaList(), "Alpha\r\nbeta\r\ngamma\r\n");  // alphabetical, case ignored
  EXPECT_FALSE(form->commandState().busy());
}

TEST_F(Upload, BatchWithNothingMarkedStillCompilesAndWithoutAutoCompileDoesNot) {
  addGame(1, "a", "A", false);
  connectPhone();
  form->phone().uploadMarkedGames();
  EXPECT_EQ(log(), (QStringList{Finished, Started}));
  widget<QComboBox>(*form, "messageLog")->clear();
  form->settings().setAutoCompileJava(false);
  form->catalogue().setMark(1, 1 != 0);
  form->phone().uploadMarkedGames();
  EXPECT_EQ(log(), (QStringList{sent("/java/a_suite.jar"), sent("/java/a_suite.jad")}));
}

TEST_F(Upload, ManualOrderIsWhatTheUserArrangesAndASecondClickMeanwhileDoesNothing) {
  addGame(1, "a", "Alpha", true);
  addGame(2, "b", "Beta", true);
  addGame(3, "c", "Gamma", true);
  connectPhone();
  manualSorting();
  QStringList shown;
  whenOrderDialogShows([&](JavaListOrderDialog* dialog) {
    for (int i = 0; i < widget<QListWidget>(*dialog, "entryList")->count(); ++i)
      shown << widget<QListWidget>(*dialog, "entryList")->item(i)->text();
    selectAndMoveUp(dialog, 2);  // Gamma above Beta
    const int before = widget<QComboBox>(*form, "messageLog")->count();
    form->phone().uploadMarkedGames();  // the upload is still running: ignored
    form->phone().uploadCurrentGame();
    EXPECT_EQ(widget<QComboBox>(*form, "messageLog")->count(), before);
    widget<QPushButton>(*dialog, "closeButton")->click();
  });
  form->phone().uploadMarkedGames();

  EXPECT_EQ(dialogsSeen, 1);
  EXPECT_EQ(shown, (QStringList{"Alpha", "Beta", "Gamma"}));  // as the phone delivered them
  EXPECT_EQ(javaList(), "Alpha\r\nGamma\r\nBeta\r\n");
  EXPECT_FALSE(form->javaListOrderDialog()->isVisible());
  EXPECT_FALSE(form->commandState().busy());
}

TEST_F(Upload, ManualDialogClosedAtOnceKeepsThePhonesOrder) {
  addGame(1, "z", "Zulu", false);
  addGame(2, "a", "Alpha", false);
  testsupport::writeFile(phone("javalist.txt"), "Zulu\r\n");
  connectPhone();
  form->catalogue().setMark(1, 1 != 0);
  form->catalogue().setMark(2, 1 != 0);
  manualSorting();
  whenOrderDialogShows([](JavaListOrderDialog* dialog) { dialog->close(); });
  form->phone().uploadMarkedGames();
  EXPECT_EQ(dialogsSeen, 1);
  EXPECT_EQ(javaList(), "Zulu\r\nAlpha\r\n");
}

TEST_F(Upload, FailedCopiesAreLoggedAsFailuresAndTheUploadGoesOn) {
  addGame(1, "ball", "Ball", false);
  std::remove("Base/games/ball.jad");
  writePhoneIni("Model=X\r\n");
  connectPhone();
  form->catalogue().setCurrentGameFile("ball");
  form->settings().setAutoCompileJava(false);
  form->phone().uploadCurrentGame();
  EXPECT_EQ(log(), (QStringList{sent("/java/ball_suite.jar"), notSent("/java/ball_suite.jad")}));

  // No plugin at all: both copies fail, the command still ends cleanly.
  PluginBinding::unload();
  widget<QComboBox>(*form, "messageLog")->clear();
  form->phone().uploadCurrentGame();
  EXPECT_EQ(log(), (QStringList{notSent("/java/ball_suite.jar"), notSent("/java/ball_suite.jad")}));
  EXPECT_FALSE(form->commandState().busy());
  EXPECT_TRUE(widget<QTreeWidget>(*form, "catalogueTree")->isEnabled());
}

TEST_F(Upload, CopyCutShortByThePhoneIsAFailure) {
  addGame(1, "big", "Big", true);
  testsupport::writeFile("Base/games/big.jar", std::string(3000, 'j'));
  writePhoneIni("Model=X\r\nFailAfterBytes=100\r\n");
  connectPhone();
  form->settings().setAutoCompileJava(false);
  form->phone().uploadMarkedGames();
  EXPECT_EQ(log(), (QStringList{notSent("/java/big_suite.jar"), sent("/java/big_suite.jad")}));
  EXPECT_FALSE(testsupport::exists(phone("java/big_suite.jar")));
}

TEST_F(Upload, LogNamesTheFileThePluginActuallyWrote) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  connectPhone();
  odd.set("remote", "/java/GAME~1");
  form->catalogue().setCurrentGameFile("game");
  form->settings().setAutoCompileJava(false);
  form->phone().uploadCurrentGame();
  EXPECT_EQ(log(), (QStringList{sent("/java/GAME~1"), sent("/java/GAME~1")}));
  EXPECT_TRUE(odd.called("FsPutFile " + dir.path() + "Base/games/game.jad /java/game_suite.jad 1\n"));
}

TEST_F(Upload, CompileWhileNotConnectedAsksNothingOfThePlugin) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  widget<QProgressBar>(*form, "progressBar")->setMaximum(5000);
  widget<QLabel>(*form, "transferLabel")->setText(QStringLiteral("x"));
  widget<QAction>(*form, "compileJavaAction")->trigger();
  EXPECT_EQ(log(), (QStringList{QStringLiteral(" Телефон должен быть подключен для перекомпиляции Java."), Started}));
  EXPECT_FALSE(odd.called("FsCompileJava"));
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->maximum(), 100);
  EXPECT_EQ(widget<QLabel>(*form, "transferLabel")->text(), QString());
}

TEST_F(Upload, CompileWithoutCompileJavaStillFinishes) {
  OddPluginControl odd(ODD_NOCOMPILE);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  connectPhone();
  form->phone().compileJava();
  EXPECT_EQ(log(), (QStringList{Finished, Started}));
}

TEST_F(Upload, ListsComeBackWithCrLfAndOneTooLongForThePhoneIsNotSent) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  connectPhone();
  odd.set("list", "b\na\nc");
  form->phone().compileJava();
  EXPECT_EQ(odd.lastSetList(), "a\r\nb\r\nc\r\n");

  // 30000 entries with lone LF fit the buffer; with CR LF they no longer do.
  std::string big;
  for (int i = 0; i < 30000; ++i) big += "x\n";
  odd.set("list", big);
  odd.clearTrace();
  widget<QComboBox>(*form, "messageLog")->clear();
  form->phone().compileJava();
  EXPECT_FALSE(odd.called("FsJavaSetList"));
  ASSERT_EQ(log().size(), 3);
  EXPECT_TRUE(log()[1].contains(QStringLiteral("90000")));
  EXPECT_EQ(log()[0], Finished);
}

TEST_F(Upload, PluginWithoutAnyJavaListExportConnectsListsUploadsAndCompilesNothing) {
  OddPluginControl odd(ODD_NOJAVA);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("find", "old.jar:10");
  addGame(1, "ball", "Ball", true);
  connectPhone();
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 1);
  form->phone().uploadMarkedGames();
  EXPECT_EQ(log(), (QStringList{Finished, Started, sent("/java/ball_suite.jar"), sent("/java/ball_suite.jad")}));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(Upload, GameFileNamesThatCouldLeaveTheirFoldersAreNeverPassedOn) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  connectPhone();
  form->settings().setAutoCompileJava(false);
  for (const std::string file : {"../Quorrel", "sub/game", "sub\\game", "..", "a..b", "/etc/passwd"}) {
    widget<QComboBox>(*form, "messageLog")->clear();
    odd.clearTrace();
    form->catalogue().setCurrentGameFile(file);
    form->phone().uploadCurrentGame();
    EXPECT_EQ(log(), QStringList{QStringLiteral(" Недопустимое имя файла игры \"") + QString::fromStdString(file) +
                                 QStringLiteral("\": игра не отправлена в телефон.")})
        << file;
    EXPECT_FALSE(odd.called("FsPutFile")) << file;
    EXPECT_FALSE(form->commandState().busy());
  }

  // In a batch the other marked games still go.
  addGame(1, "good", "Good", true);
  quorrel::GameEntry evil;
  evil.file = "../../etc/passwd";
  evil.selected = 1;
  form->catalogue().setGame(2, evil);
  odd.clearTrace();
  form->phone().uploadMarkedGames();
  EXPECT_TRUE(odd.called("FsPutFile " + dir.path() + "Base/games/good.jar /java/good_suite.jar 1\n"));
  EXPECT_EQ(odd.trace().find("passwd"), std::string::npos);
  EXPECT_FALSE(log().filter(QStringLiteral("отправлен в телефон")).join(QString()).contains(QStringLiteral("passwd")));
}

TEST_F(Upload, MoveInTheShownDialogWithNothingSelectedIsRefused) {
  addGame(1, "a", "Alpha", true);
  addGame(2, "b", "Beta", true);
  connectPhone();
  manualSorting();
  int selected = -2;
  whenOrderDialogShows([&](JavaListOrderDialog* dialog) {
    selected = static_cast<int>(widget<QListWidget>(*dialog, "entryList")->selectedItems().size());
    widget<QToolButton>(*dialog, "moveDownButton")->click();
    widget<QToolButton>(*dialog, "moveUpButton")->click();
    widget<QPushButton>(*dialog, "closeButton")->click();
  });
  form->phone().uploadMarkedGames();
  EXPECT_EQ(dialogsSeen, 1);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(prompter.errors(), (std::vector<QString>{QStringLiteral("List index out of bounds (-1)"),
                                                     QStringLiteral("List index out of bounds (-1)")}));
  EXPECT_EQ(javaList(), "Alpha\r\nBeta\r\n");
}

TEST_F(Upload, CyrillicNamesReachTheDialogReadableAndAnOverlongListFailsVisibly) {
  addGame(1, "t", "Тетрис", true);
  addGame(2, "a", "Арканоид", true);
  connectPhone();
  manualSorting();
  QStringList shown;
  whenOrderDialogShows([&](JavaListOrderDialog* dialog) {
    for (int i = 0; i < widget<QListWidget>(*dialog, "entryList")->count(); ++i)
      shown << widget<QListWidget>(*dialog, "entryList")->item(i)->text();
    widget<QPushButton>(*dialog, "closeButton")->click();
  });
  form->phone().uploadMarkedGames();
  EXPECT_EQ(shown, (QStringList{QStringLiteral("Арканоид"), QStringLiteral("Тетрис")}));
  EXPECT_EQ(javaList(), testsupport::cp1251("Арканоид\r\nТетрис\r\n"));

  // 700 games of 100-character names: more than the 65535 characters a list may have across the plugin.
  for (int i = 0; i < 700; ++i) {
    const std::string n = std::to_string(1000 + i);
    testsupport::writeFile(phone("java/g" + n + "_suite.jad"), "MIDlet-Name: " + n + std::string(96, 'x') + "\r\n");
  }
  widget<QComboBox>(*form, "messageLog")->clear();
  form->phone().compileJava();
  EXPECT_EQ(dialogsSeen, 1);  // no cut list is shown
  EXPECT_EQ(javaList(), testsupport::cp1251("Арканоид\r\nТетрис\r\n"));
  const QString failure = QStringLiteral(
      "Список Java слишком длинный (71418 символов, можно не больше 65535): "
      "список не перестроен");
  EXPECT_EQ(log(), (QStringList{QStringLiteral(" Ошибка телефона: ") + failure, Finished, Started}));
  EXPECT_EQ(prompter.errors(), std::vector<QString>{failure + QLatin1Char('.')});
}

TEST_F(Upload, CyrillicFileNamesAreFoundOnDiskAndOnThePhoneUnderTheirReadableNames) {
  const std::string file = testsupport::cp1251("игра");  // as the catalogue holds it
  addGame(1, "игра", "Игра", true);                      // the files on disk: Base/games/игра.jad, .jar
  form->catalogue().setGame(1, [&] {
    quorrel::GameEntry game = form->catalogue().game(1);
    game.file = file;
    return game;
  }());
  connectPhone();
  form->phone().uploadMarkedGames();
  EXPECT_EQ(testsupport::readFile(phone("java/игра_suite.jar")), "PK jar of Игра");
  EXPECT_TRUE(testsupport::exists(phone("java/игра_suite.jad")));
  EXPECT_EQ(log(), (QStringList{Finished, Started, sent(QStringLiteral("/java/игра_suite.jar")),
                                sent(QStringLiteral("/java/игра_suite.jad"))}));
  EXPECT_EQ(javaList(), testsupport::cp1251("Игра\r\n"));

  // The phone lists its files under the host's names.
  std::vector<std::string> listed;
  SghfsFindData entry{};
  const SghfsHandle h = PluginBinding::findFirst("/java/", entry);
  ASSERT_NE(h, SGHFS_INVALID_HANDLE);
  do listed.push_back(entry.cFileName);
  while (PluginBinding::findNext(h, entry));
  PluginBinding::findClose(h);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{file + "_suite.jad", file + "_suite.jar"}));
}
