// The main window on a temporary working folder: start-up, layout, log, shell commands.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>

#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/Errors.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using testsupport::cp1251;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::widget;
using testsupport::writeFile;

namespace {

std::string sampleCatalogue() {
  return cp1251(
      "<model name=\"SGH-X100\" disp=\"160\" desc=\"Телефон\" vers=\"3.1\" pic=\"x100\">\r\n"
      "<folder name=\"Аркады\" desc=\"Быстрые\" pic=\"arc\">\r\n"
      "<game name=\"Мячик\">\r\n<size=\"100\">\r\n<file=\"ball\">\r\n<desc=\"d\">\r\n"
      "</folder>\r\n<end>\r\n");
}

// A complete settings file, so that start-up goes on to load the catalogue.
void writeSettings() {
  writeFile("Quorrel.ini",
            "[Update Server]\r\n\r\n1\r\n0\r\n\r\n[Proxy Settings]\r\n0\r\n\r\n\r\n\r\n\r\n\r\n"
            "[Connection]\r\nCOM1\r\n115200\r\n1\r\n\r\n[Interface]\r\n0\r\n");
}

QStringList topLevelTexts(QTreeWidget* tree) {
  QStringList out;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) out << tree->topLevelItem(i)->text(0);
  return out;
}

}  // namespace

TEST(MainWindowStartup, EmptyFolderCreatesBaseFoldersAndOpensWithEmptyTree) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  EXPECT_TRUE(testsupport::exists(dir / "Base/games"));
  // Without Quorrel.ini the settings read reports the missing file, and the tree stays empty.
  EXPECT_EQ(widget<QTreeWidget>(form, "catalogueTree")->topLevelItemCount(), 0);
  ASSERT_FALSE(prompter.errors().empty());
  EXPECT_EQ(prompter.errors().back(), QStringLiteral("File not found."));
  EXPECT_EQ(prompter.asked.back().title, QStringLiteral("Quorrel"));
}

TEST(MainWindowStartup, FolderThatCannotBeCreatedStopsStartupWithItsPath) {
  TempWorkDir dir;
  writeFile("Base", "a file where the folder should be");
  writeFile("Javadata.xml", sampleCatalogue());
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  ASSERT_EQ(prompter.errors().size(), 1u);
  EXPECT_EQ(prompter.errors()[0], QString::fromStdString("Не могу создать папку" + dir.path() + "Base/."));
  EXPECT_EQ(widget<QTreeWidget>(form, "catalogueTree")->topLevelItemCount(), 0);  // the catalogue was never loaded
}

TEST(MainWindowStartup, PresentFoldersAndCatalogueLoadTheTree) {
  TempWorkDir dir;
  writeSettings();
  writeFile("Base/games/.keep", "");
  writeFile("Javadata.xml", sampleCatalogue());
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  EXPECT_EQ(topLevelTexts(widget<QTreeWidget>(form, "catalogueTree")),
            (QStringList{QStringLiteral("SGH-X100"), QStringLiteral("Новости")}));
  QTreeWidgetItem* folder = widget<QTreeWidget>(form, "catalogueTree")->topLevelItem(0)->child(0);
  EXPECT_EQ(folder->text(0), QStringLiteral("Аркады"));
  EXPECT_EQ(folder->child(0)->text(0), QStringLiteral("Мячик"));
  EXPECT_EQ(quorrel::CatalogueBrowser::nodeText(folder->child(0)), cp1251("Мячик"));
  EXPECT_EQ(form.catalogue().gameCount(), 1);
  EXPECT_EQ(form.catalogue().folderCount(), 2);
  EXPECT_EQ(form.catalogue().baseVersion(), "3.1");
  EXPECT_EQ(widget<QLabel>(form, "pictureBox")->height(), 160);
  EXPECT_EQ(widget<QWidget>(form, "pictureFrame")->height(), 169);
  EXPECT_FALSE(testsupport::exists("javabase.tmp"));
}

TEST(MainWindowStartup, BadOutlineLeavesPartialTreeAndTheOutlineFile) {
  TempWorkDir dir;
  writeSettings();
  // A game name that starts with blanks reads back from the outline too deep.
  writeFile("Javadata.xml", "<model name=\"M\">\r\n<game name=\"   X\">\r\n<end>\r\n");
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  ASSERT_FALSE(prompter.errors().empty());
  // The text ends in a double quote, whose code is below the full stop: no stop is added.
  EXPECT_EQ(prompter.errors().back(), QStringLiteral("Invalid level (4) for item \"X\""));
  EXPECT_EQ(topLevelTexts(widget<QTreeWidget>(form, "catalogueTree")), QStringList{QStringLiteral("M")});
  EXPECT_TRUE(testsupport::exists("javabase.tmp"));
}

TEST(MainWindowStartup, OversizedCatalogueIsReportedOnce) {
  TempWorkDir dir;
  writeSettings();
  std::string text = "<model name=\"M\">\r\n";
  for (int i = 0; i < 1003; ++i) text += "<game name=\"G" + std::to_string(i) + "\">\r\n";
  writeFile("Javadata.xml", text + "<end>\r\n");
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  const auto errors = prompter.errors();
  ASSERT_EQ(std::count_if(errors.begin(), errors.end(), [](const QString& t) { return t.contains("игр: 3"); }), 1);
  EXPECT_EQ(widget<QTreeWidget>(form, "catalogueTree")->topLevelItem(0)->childCount(), 1000);
}

TEST(MainWindowLayout, FixedWindowAndInitialState) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  EXPECT_EQ(form.centralWidget()->size(), QSize(791, 594));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Quorrel v1.2 Final"));
  EXPECT_EQ(widget<QTreeWidget>(form, "catalogueTree")->geometry(), QRect(8, 8, 273, 489));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->geometry(), QRect(8, 500, 780, 22));
  EXPECT_EQ(widget<QToolButton>(form, "exitButton")->geometry(), QRect(745, 5, 40, 40));
  EXPECT_EQ(widget<StatusPanels>(form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение не установлено"));
  EXPECT_EQ(widget<QLabel>(form, "sizeLabel")->text(), QStringLiteral("0 байт"));
  EXPECT_FALSE(widget<QAction>(form, "disconnectAction")->isEnabled());
  EXPECT_TRUE(widget<QAction>(form, "autoCompileAction")->isChecked());
  EXPECT_TRUE(widget<QAction>(form, "alphabeticalSortAction")->isChecked());
  EXPECT_FALSE(widget<QAction>(form, "manualSortAction")->isChecked());
  EXPECT_TRUE(widget<QToolButton>(form, "uploadGameButton")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(form, "downloadGameButton")->isHidden());
  EXPECT_TRUE(widget<QToolButton>(form, "downloadScreenshotButton")->isHidden());
  EXPECT_FALSE(widget<QCheckBox>(form, "markGameBox")->isHidden());
  EXPECT_EQ(widget<QAction>(form, "updateAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(widget<QToolButton>(form, "updateButton")->toolTip(), QStringLiteral("Обновить базу"));
  EXPECT_EQ(widget<QToolButton>(form, "uploadMarkedButton")->accessibleName(),
            QStringLiteral("Закачать выбранные игры в телефон"));
  // Controls are found by their given names.
  EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("transferLabel")), widget<QLabel>(form, "transferLabel"));
  EXPECT_EQ(form.findChild<QAction*>(QStringLiteral("manualSortAction")), widget<QAction>(form, "manualSortAction"));
}

TEST(MainWindowLog, NewestLineFirstAndClearEmptiesListAndText) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  form.addLine(QStringLiteral("first"));
  form.addLine(QStringLiteral("second"));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->itemText(0), QStringLiteral("second"));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->itemText(1), QStringLiteral("first"));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QStringLiteral("second"));
  form.insertLine(QStringLiteral("quiet"));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->itemText(0), QStringLiteral("quiet"));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QStringLiteral("second"));
  form.logCommand(QStringLiteral(" Команда."));
  EXPECT_TRUE(widget<QComboBox>(form, "messageLog")->currentText().endsWith(QStringLiteral(" Команда.")));
  EXPECT_TRUE(widget<QComboBox>(form, "messageLog")->currentText().at(0).isDigit());

  widget<QAction>(form, "clearLogAction")->trigger();
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->count(), 0);
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QString());

  // A line from outside is one line of at most 1000 characters, also in the edit text; the oldest lines go.
  const QString forged = QStringLiteral("Файл x\n12:00:00 База данных успешно обновлена!\r\x1b[2J\u2028");
  form.addLine(forged);
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->itemText(0),
            QStringLiteral("Файл x\uFFFD12:00:00 База данных успешно обновлена!\uFFFD\uFFFD[2J\uFFFD"));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), widget<QComboBox>(form, "messageLog")->itemText(0));
  form.addLine(QString(64 * 1024, QLatin1Char('n')));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->itemText(0), QString(1000, QLatin1Char('n')));
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QString(1000, QLatin1Char('n')));
  // Never more than MaxLogLines, always the newest in order.
  const int total = 3 * quorrel::MaxLogLines;
  int most = 0;
  for (int i = 0; i < total; ++i) {
    form.insertLine(QString::number(i));
    most = std::max(most, widget<QComboBox>(form, "messageLog")->count());
  }
  EXPECT_EQ(most, quorrel::MaxLogLines);
  const int kept = widget<QComboBox>(form, "messageLog")->count();
  EXPECT_GE(kept, quorrel::MaxLogLines - quorrel::LogTrimLines);
  bool inOrder = true;
  for (int i = 0; i < kept; ++i)
    inOrder = inOrder && widget<QComboBox>(form, "messageLog")->itemText(i) == QString::number(total - 1 - i);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QString(1000, QLatin1Char('n')));

  widget<QAction>(form, "clearLogAction")->trigger();
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->count(), 0);
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QString());
  widget<QAction>(form, "clearLogAction")->trigger();  // on an empty log
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->count(), 0);
  EXPECT_EQ(widget<QComboBox>(form, "messageLog")->currentText(), QString());
}

TEST(ErrorReport, FullStopIsAddedUnlessTextEndsInStopOrLowerCode) {
  EXPECT_EQ(quorrel::withFullStop("File not found"), "File not found.");
  EXPECT_EQ(quorrel::withFullStop("Done."), "Done.");
  EXPECT_EQ(quorrel::withFullStop("Сервер не найден!"), "Сервер не найден!");
  EXPECT_EQ(quorrel::withFullStop("trailing blank "), "trailing blank ");
  EXPECT_EQ(quorrel::withFullStop("a-"), "a-");
  EXPECT_EQ(quorrel::withFullStop("a,"), "a,");
  EXPECT_EQ(quorrel::withFullStop("Русский"), "Русский.");
  EXPECT_EQ(quorrel::withFullStop("path/"), "path/.");  // "/" has a higher code than "."
  EXPECT_EQ(quorrel::withFullStop(""), ".");
}

TEST(ErrorReport, HandlerErrorsReachTheReportAndTheWindowCarriesOn) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  prompter.clear();
  form.guarded([] { throw quorrel::QuorrelError("Boom"); });
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].text, QStringLiteral("Boom."));
  EXPECT_EQ(prompter.asked[0].icon, quorrel::MsgIcon::Error);
  EXPECT_EQ(prompter.asked[0].buttons, std::vector<quorrel::MsgButton>{quorrel::MsgButton::Ok});
}

TEST(MainWindowLayout, StatusPanelsStandByRoleFromLeftToRight) {
  TempWorkDir dir;
  ScriptedPrompter prompter;
  MainWindow form(&prompter);
  form.show();
  QCoreApplication::processEvents();
  using quorrel::StatusPanel;
  const StatusPanel roles[] = {StatusPanel::Connection, StatusPanel::Maker, StatusPanel::Model,
                               StatusPanel::SerialNumber, StatusPanel::PluginMessage};
  const int fixedWidths[] = {150, 80, 80, 130};
  int left = -1;
  for (int i = 0; i < quorrel::StatusPanelCount; ++i) {
    SCOPED_TRACE(i);
    QLabel* panel = widget<StatusPanels>(form, "statusPanels")->panel(roles[i]);
    EXPECT_EQ(panel->objectName(), QStringLiteral("statusPanel%1").arg(i));
    EXPECT_GT(panel->x(), left);
    left = panel->x();
    if (i < 4) {
      EXPECT_EQ(panel->width(), fixedWidths[i]);
    }
  }
  // The plugin's message takes what the others leave.
  EXPECT_GE(widget<StatusPanels>(form, "statusPanels")->panel(StatusPanel::PluginMessage)->width(), 50);

  // A text goes to its own panel only.
  widget<StatusPanels>(form, "statusPanels")
      ->setPanelText(StatusPanel::SerialNumber, QStringLiteral("350123456789012"));
  EXPECT_EQ(widget<StatusPanels>(form, "statusPanels")->panel(StatusPanel::SerialNumber)->text(),
            QStringLiteral("350123456789012"));
  EXPECT_EQ(widget<StatusPanels>(form, "statusPanels")->panelText(StatusPanel::Model), QString());
  EXPECT_EQ(widget<StatusPanels>(form, "statusPanels")->panelText(StatusPanel::PluginMessage), QString());
}
