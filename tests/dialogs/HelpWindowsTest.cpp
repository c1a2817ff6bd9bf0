// The help menu's windows on the real main window: the about box and the version history.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>

#include "ModalWindow.h"
#include "app/MainWindow.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/ShownText.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/HistoryWindow.h"
#include "phone/PluginBinding.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using testsupport::cp1251;
using testsupport::runModal;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::widget;
using testsupport::writeFile;

namespace {

QStringList memoLines(const QPlainTextEdit* memo) {
  QStringList out;
  for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) out << b.text();
  return out;
}

void clickOk(QWidget* w) { static_cast<AboutDialog*>(w)->okButton->click(); }
void closeWindow(QWidget* w) { w->close(); }

std::string shippedFile(const char* name) { return std::string(QUORREL_DATA_DIR "/") + name; }

}  // namespace

TEST(AboutBox, ShowsTheCatalogueAsItIsAtEachOpening) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);  // no catalogue yet: its load fails, nothing is counted
  prompter.clear();

  QString title, credit, games, version, phones;
  QSize size;
  bool ownedByMain = false;
  auto first = runModal([&] { widget<QAction>(form, "aboutAction")->trigger(); },
                        [&](QWidget* w) {
                          auto* about = qobject_cast<AboutDialog*>(w);
                          ASSERT_NE(about, nullptr);
                          title = about->windowTitle();
                          size = about->size();
                          ownedByMain = about->parentWidget() == &form;
                          credit = about->titleLabel->text();
                          games = about->gameCountLabel->text();
                          version = about->baseVersionLabel->text();
                          phones = about->phonesText->toPlainText();
                        },
                        clickOk);
  ASSERT_TRUE(first.shown);
  EXPECT_TRUE(first.window.isNull());  // destroyed once closed
  EXPECT_TRUE(form.findChildren<AboutDialog*>().isEmpty());
  EXPECT_EQ(title, QStringLiteral("О программе..."));
  EXPECT_EQ(size, QSize(473, 668));
  EXPECT_TRUE(ownedByMain);
  EXPECT_TRUE(credit.startsWith(form.windowTitle() + QLatin1Char(' ')));
  EXPECT_GT(credit.size(), form.windowTitle().size() + 3);
  EXPECT_EQ(games, QStringLiteral("Всего в базе игр: 0"));
  EXPECT_EQ(version, QStringLiteral("Версия базы: "));
  EXPECT_EQ(phones, QStringLiteral("SGH-X100,SGH-X600,SGH-E100,SGH-X100A,SGH-X460,SGH-E700, \n"
                                   "SGH-E800,SGH-E820,SGH-E630,SGH-E330,SGH-D500"));

  // A new catalogue arrives (as an update reloads it); the next opening is a new window that shows it.
  writeFile("Javadata.xml", cp1251("<model name=\"SGH-E700\" disp=\"128\" desc=\"\" vers=\"2.07б\" pic=\"e700\">\r\n"
                                   "<folder name=\"Логические\" desc=\"\" pic=\"log\">\r\n"
                                   "<game name=\"Сапёр\">\r\n<game name=\"Тетрис\">\r\n</folder>\r\n<end>\r\n"));
  form.browser().loadCatalogue();
  auto second = runModal([&] { widget<QAction>(form, "aboutAction")->trigger(); },
                         [&](QWidget* w) {
                           games = static_cast<AboutDialog*>(w)->gameCountLabel->text();
                           version = static_cast<AboutDialog*>(w)->baseVersionLabel->text();
                         },
                         clickOk);
  ASSERT_TRUE(second.shown);
  EXPECT_TRUE(second.window.isNull());
  EXPECT_EQ(games, QStringLiteral("Всего в базе игр: 2"));
  EXPECT_EQ(version, QStringLiteral("Версия базы: 2.07б"));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(AboutBox, ShowsThePluginVersionTextInTheSystemCodePage) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  const std::string saved = PluginBinding::pluginVersion;
  PluginBinding::pluginVersion = cp1251("Модуль телефона 2.1");
  QString shown;
  auto r = runModal([&] { form.showAbout(); },
                    [&](QWidget* w) { shown = static_cast<AboutDialog*>(w)->pluginVersionLabel->text(); }, clickOk);
  PluginBinding::pluginVersion = saved;
  ASSERT_TRUE(r.shown);
  EXPECT_EQ(shown, QStringLiteral("Модуль телефона 2.1"));
}

TEST(HistoryWindow, ShowsTheFileLineByLineAndNeverSavesEdits) {
  TempWorkDir dir;
  // Windows line ends as shipped, but also a lone LF and a lone CR, and no line break at the very end.
  const std::string text = cp1251("Версия 1.2\r\n\r\n* первая\n* вторая\rконец");
  writeFile("history.txt", text);
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  prompter.clear();

  QStringList lines;
  QString title;
  QSize size;
  bool editable = false;
  auto first = runModal([&] { widget<QAction>(form, "historyAction")->trigger(); },
                        [&](QWidget* w) {
                          auto* history = qobject_cast<HistoryWindow*>(w);
                          ASSERT_NE(history, nullptr);
                          title = history->windowTitle();
                          size = history->size();
                          lines = memoLines(history->historyText);
                          editable = !history->historyText->isReadOnly();
                          history->historyText->setPlainText(QStringLiteral("правка пользователя"));
                        },
                        closeWindow);
  ASSERT_TRUE(first.shown);
  EXPECT_TRUE(first.window.isNull());
  EXPECT_EQ(title, QStringLiteral("История версий"));
  EXPECT_EQ(size, QSize(444, 446));
  EXPECT_TRUE(editable);
  EXPECT_EQ(lines, (QStringList{QStringLiteral("Версия 1.2"), QString(), QStringLiteral("* первая"),
                                QStringLiteral("* вторая"), QStringLiteral("конец")}));
  EXPECT_EQ(testsupport::readFile("history.txt"), text);

  // The edit went with the window: the next opening reads the file again.
  auto second =
      runModal([&] { widget<QAction>(form, "historyAction")->trigger(); },
               [&](QWidget* w) { lines = memoLines(static_cast<HistoryWindow*>(w)->historyText); }, closeWindow);
  ASSERT_TRUE(second.shown);
  EXPECT_EQ(lines.first(), QStringLiteral("Версия 1.2"));
  EXPECT_TRUE(prompter.asked.empty());
}

TEST(HistoryWindow, AMegabyteOfLineBreaksIsShownAsItsFirstLines) {
  TempWorkDir dir;
  // An update may place any history.txt; line ends of every kind count.
  writeFile("history.txt", "top\r\n" + std::string(1 << 19, '\r') + std::string(1 << 19, '\n'));
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  QStringList lines;
  const auto shown =
      runModal([&] { widget<QAction>(form, "historyAction")->trigger(); },
               [&](QWidget* w) { lines = memoLines(static_cast<HistoryWindow*>(w)->historyText); }, closeWindow);
  ASSERT_TRUE(shown.shown);
  ASSERT_EQ(lines.size(), quorrel::MaxShownMemoLines + 1);
  EXPECT_EQ(lines.front(), QStringLiteral("top"));
  EXPECT_EQ(lines.back(), QStringLiteral("\u2026"));
}

TEST(HistoryWindow, UnreadableFileIsReportedAndTheWindowOpensEmpty) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  prompter.clear();

  QString shownText = QStringLiteral("not looked at");
  size_t errorsBeforeShowing = 0;
  auto inspect = [&](QWidget* w) {
    shownText = static_cast<HistoryWindow*>(w)->historyText->toPlainText();
    errorsBeforeShowing = prompter.errors().size();
  };
  auto missing = runModal([&] { widget<QAction>(form, "historyAction")->trigger(); }, inspect, closeWindow);
  ASSERT_TRUE(missing.shown);
  EXPECT_EQ(errorsBeforeShowing, 1u);
  EXPECT_TRUE(shownText.isEmpty());

  ASSERT_EQ(::mkdir("history.txt", 0755), 0);  // a folder cannot be read as the history
  shownText = QStringLiteral("not looked at");
  auto folder = runModal([&] { form.showHistory(); }, inspect, closeWindow);
  ASSERT_TRUE(folder.shown);
  EXPECT_TRUE(shownText.isEmpty());

  const QString path = QString::fromStdString(dir / "history.txt");
  EXPECT_EQ(prompter.errors(),
            (std::vector<QString>{QStringLiteral("Cannot open file \"%1\". File not found.").arg(path),
                                  QStringLiteral("Cannot open file \"%1\". File access denied.").arg(path)}));
  EXPECT_EQ(prompter.asked.front().title, QStringLiteral("Quorrel"));
}

// The files a first start is seeded with: the window opens with no error, and the history covers this version.
TEST(ShippedFiles, SeededWorkingFolderStartsCleanly) {
  TempWorkDir dir;
  for (const char* name : {"Quorrel.ini", "Javadata.xml", "history.txt"}) {
    writeFile(name, testsupport::readFile(shippedFile(name)));
  }
  const std::string ini = testsupport::readFile("Quorrel.ini");
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 19);
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\r'), 19);
  EXPECT_EQ(ini.substr(ini.size() - 2), "\r\n");

  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  EXPECT_TRUE(prompter.texts().empty()) << prompter.texts().front().toStdString();
  EXPECT_EQ(form.catalogue().gameCount(), 0);
  ASSERT_EQ(widget<QTreeWidget>(form, "catalogueTree")->topLevelItemCount(), 1);  // only the news entry
  EXPECT_EQ(widget<QTreeWidget>(form, "catalogueTree")->topLevelItem(0)->text(0), QStringLiteral("Новости"));

  QStringList lines;
  auto r = runModal([&] { form.showHistory(); },
                    [&](QWidget* w) { lines = memoLines(static_cast<HistoryWindow*>(w)->historyText); }, closeWindow);
  ASSERT_TRUE(r.shown);
  EXPECT_TRUE(prompter.texts().empty());
  EXPECT_EQ(lines.first(), QStringLiteral("Quorrel — история версий"));
  const QString version = form.windowTitle().section(QLatin1Char('v'), -1);  // "1.2 Final"
  EXPECT_TRUE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("Версия ") + version))
      << "history.txt has no entry for " << version.toStdString();
}
