// The settings as the user meets them: the start-up read, the dialog, its save and the menu toggles, with
// the real windows on a temporary working folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <optional>

#include "app/MainWindow.h"
#include "net/Downloads.h"
#include "net/HttpGet.h"
#include "settings/Settings.h"
#include "settings/SettingsDialog.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using testsupport::cp1251;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
using testsupport::widget;
using testsupport::writeFile;

namespace {

// A settings file from its lines (CR LF after each).
std::string ini(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* l : lines) out += cp1251(l) + std::string("\r\n");
  return out;
}

std::string standardIni(const char* proxyOn = "1", const char* mode = "1", const char* pictures = "0") {
  return ini({"[Update Server]", "http://srv/", mode, pictures, "", "[Proxy Settings]", proxyOn, "proxy.local", "3128",
              "Иван", "секрет", "", "[Connection]", "COM3", "230400", "1", "", "[Interface]", "0"});
}

// Line n (1-based) of the settings file.
std::string lineOf(int n) {
  const std::string text = readFile("Quorrel.ini");
  size_t start = 0;
  for (int i = 1; i < n; ++i) start = text.find("\r\n", start) + 2;
  return text.substr(start, text.find("\r\n", start) - start);
}

struct App {
  ScriptedPrompter prompter;
  std::unique_ptr<MainWindow> form;
  App() {
    writeFile("Javadata.xml", "<model name=\"M\">\r\n<end>\r\n");
    form = createApplicationWindows(&prompter);
  }
  SettingsDialog& dialog() const { return *form->settingsDialog(); }

  // Opens the dialog through `open` (as the user would); `whileOpen` runs once it shows, and the dialog is
  // then cancelled unless it was closed. Returns whether the dialog opened.
  bool openDialog(const std::function<void()>& open, const std::function<void(SettingsDialog&)>& whileOpen = {}) {
    bool opened = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      opened = dialog().isVisible();
      if (opened && whileOpen) whileOpen(dialog());
      if (dialog().isVisible()) widget<QPushButton>(dialog(), "cancelButton")->click();
    });
    timer.start(0);
    open();
    QCoreApplication::processEvents();  // runs the timer when nothing opened
    return opened;
  }
  bool openDialog(const std::function<void(SettingsDialog&)>& whileOpen = {}) {
    return openDialog([this] { widget<QAction>(*form, "settingsAction")->trigger(); }, whileOpen);
  }
};

}  // namespace

TEST(SettingsStartup, MissingFileIsReportedThriceAndSaveCreatesACompleteFile) {
  TempWorkDir dir;
  App app;
  // Start-up and the dialog's creation both report it; the catalogue is not loaded.
  EXPECT_EQ(app.prompter.errors(), (std::vector<QString>{"File not found.", "File not found."}));
  EXPECT_EQ(widget<QTreeWidget>(*app.form, "catalogueTree")->topLevelItemCount(), 0);
  // Showing reports it again and opens all the same; saving creates the whole file, owner-only.
  EXPECT_TRUE(app.openDialog([](SettingsDialog& f) { widget<QPushButton>(f, "saveButton")->click(); }));
  EXPECT_EQ(app.prompter.errors().size(), 3u);
  EXPECT_EQ(readFile("Quorrel.ini"), ini({"[Update Server]", "", "0", "0", "", "[Proxy Settings]", "0", "", "", "", "",
                                          "", "[Connection]", "COM1", "115200", "1", "", "[Interface]", "0"}));
  struct stat st {};
  ASSERT_EQ(::stat("Quorrel.ini", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsDialog, SavedValuesReadBackTheSameInAFreshStart) {
  TempWorkDir dir;
  {
    App app;
    ASSERT_TRUE(app.openDialog([](SettingsDialog& f) {
      widget<QLineEdit>(f, "updateServerEdit")->setText(QStringLiteral("http://сервер.рф/quorrel/"));
      widget<QRadioButton>(f, "withScreenshotsButton")->click();
      widget<QCheckBox>(f, "folderPicturesBox")->click();
      widget<QCheckBox>(f, "useProxyBox")->click();
      EXPECT_TRUE(widget<QLineEdit>(f, "proxyHostEdit")->isEnabled() &&
                  widget<QLabel>(f, "proxyHostCaption")->isEnabled());
      widget<QLineEdit>(f, "proxyHostEdit")->setText(QStringLiteral("proxy.local"));
      widget<QLineEdit>(f, "proxyPortEdit")->setText(QStringLiteral("8080"));
      widget<QLineEdit>(f, "proxyUserEdit")->setText(QStringLiteral("Иван"));
      widget<QLineEdit>(f, "proxyPasswordEdit")->setText(QStringLiteral("пароль 1"));
      widget<QComboBox>(f, "comPortBox")->setEditText(QStringLiteral("COM21"));  // typed, not in the list
      widget<QComboBox>(f, "comSpeedBox")->setEditText(QStringLiteral("460800"));
      widget<QPushButton>(f, "saveButton")->click();
      EXPECT_FALSE(f.isVisible());
    }));
    EXPECT_EQ(readFile("Quorrel.ini"),
              ini({"[Update Server]", "http://сервер.рф/quorrel/", "2", "1", "", "[Proxy Settings]", "1", "proxy.local",
                   "8080", "Иван", "пароль 1", "", "[Connection]", "COM21", "460800", "1", "", "[Interface]", "0"}));
  }
  App fresh;
  EXPECT_TRUE(fresh.prompter.asked.empty());
  MainWindow& m = *fresh.form;
  EXPECT_EQ(m.settings().updateServer(), cp1251("http://сервер.рф/quorrel/"));
  EXPECT_EQ(m.settings().updateMode(), quorrel::UpdateMode::WithScreenshots);
  EXPECT_TRUE(m.settings().updateFolderPictures());
  EXPECT_EQ(m.settings().proxy().host, "proxy.local");
  EXPECT_EQ(m.settings().proxy().port, 8080u);
  EXPECT_EQ(m.settings().proxy().userName, cp1251("Иван"));
  EXPECT_EQ(m.settings().proxy().password, cp1251("пароль 1"));
  EXPECT_EQ(m.settings().comPort(), "COM21");
  EXPECT_EQ(m.settings().comSpeed(), 460800);
  SettingsDialog& d = fresh.dialog();
  EXPECT_TRUE(widget<QRadioButton>(d, "withScreenshotsButton")->isChecked() &&
              widget<QCheckBox>(d, "folderPicturesBox")->isChecked() &&
              widget<QCheckBox>(d, "useProxyBox")->isChecked());
  EXPECT_TRUE(widget<QLineEdit>(d, "proxyPasswordEdit")->isEnabled());
  EXPECT_EQ(widget<QLineEdit>(d, "proxyPasswordEdit")->text(), QStringLiteral("пароль 1"));
  EXPECT_EQ(widget<QComboBox>(d, "comPortBox")->currentText(), QStringLiteral("COM21"));
}

TEST(SettingsDialog, ProxyDetailsSurviveTheProxyBeingOff) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni("0"));
  App app;
  MainWindow& m = *app.form;
  EXPECT_TRUE(m.settings().proxy().host.empty());
  EXPECT_FALSE(widget<QLineEdit>(app.dialog(), "proxyHostEdit")->isEnabled());
  // A menu toggle after the restart keeps lines 8 to 11.
  widget<QAction>(m, "autoCompileAction")->trigger();
  std::string expected = standardIni("0");
  expected.replace(expected.find("230400\r\n1") + 8, 1, "0");
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  // Switching the proxy on shows them again; saving puts them into the download component.
  ASSERT_TRUE(app.openDialog([](SettingsDialog& f) {
    widget<QCheckBox>(f, "useProxyBox")->click();
    EXPECT_EQ(widget<QLineEdit>(f, "proxyPortEdit")->text(), QStringLiteral("3128"));
    widget<QPushButton>(f, "saveButton")->click();
  }));
  EXPECT_EQ(m.settings().proxy().userName, cp1251("Иван"));
  EXPECT_EQ(m.settings().proxy().port, 3128u);
  // Switching it off empties the component but not the file.
  ASSERT_TRUE(app.openDialog([](SettingsDialog& f) {
    widget<QCheckBox>(f, "useProxyBox")->click();
    widget<QPushButton>(f, "saveButton")->click();
  }));
  EXPECT_TRUE(m.settings().proxy().host.empty() && m.settings().proxy().password.empty());
  EXPECT_EQ(m.settings().proxy().port, 0u);
  EXPECT_EQ(lineOf(7), "0");
  EXPECT_EQ(lineOf(11), cp1251("секрет"));
}

TEST(SettingsStartup, FlagsAreOffOnlyWhenExactlyZero) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", ini({"[Update Server]", "s", "1", "no", "", "[Proxy Settings]", " 0", "h", "81", "u", "p",
                                "", "[Connection]", "COM2", "115200", "", "", "[Interface]", "manual"}));
  ScriptedPrompter prompter;
  MainWindow m(&prompter);  // the start-up read alone
  EXPECT_TRUE(m.settings().updateFolderPictures());
  EXPECT_EQ(m.settings().proxy().port, 81u);
  EXPECT_TRUE(widget<QAction>(m, "autoCompileAction")->isChecked());
  EXPECT_TRUE(widget<QAction>(m, "manualSortAction")->isChecked() &&
              !widget<QAction>(m, "alphabeticalSortAction")->isChecked());
}

TEST(SettingsStartup, PositionalReadsSkipExtraLinesBetweenSectionsAndShiftInside) {
  TempWorkDir dir;
  // Extra lines between sections, no proxy section, and a file that ends early: no error.
  writeFile("Quorrel.ini", ini({"note", "[Update Server]", "s", "3", "1", "x", "[Connection]", "COM5"}));
  {
    App app;
    EXPECT_TRUE(app.prompter.asked.empty());
    EXPECT_EQ(app.form->settings().updateMode(), quorrel::UpdateMode::WholeBase);
    EXPECT_EQ(app.form->settings().comPort(), "COM5");
    EXPECT_EQ(app.form->settings().comSpeed(), 0);
    EXPECT_TRUE(widget<QRadioButton>(app.dialog(), "wholeBaseButton")->isChecked());
  }
  // An extra line inside a section shifts the values: the update mode meets the address and both reads stop.
  writeFile("Quorrel.ini", ini({"[Update Server]", "mirror", "http://srv/", "1", "1", "", "[Connection]", "COM5"}));
  App app;
  EXPECT_EQ(app.prompter.errors(), (std::vector<QString>{"Invalid numeric input.", "Invalid numeric input."}));
  EXPECT_EQ(app.form->settings().updateServer(), "mirror");
  EXPECT_EQ(app.form->settings().comPort(), "");
  EXPECT_EQ(widget<QComboBox>(app.dialog(), "comPortBox")->currentText(), QStringLiteral("COM1"));
}

TEST(SettingsDialog, RefusedSaveLeavesFileAndValuesAsTheyWere) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni());
  App app;
  MainWindow& m = *app.form;
  ASSERT_TRUE(app.openDialog([&](SettingsDialog& f) {
    widget<QLineEdit>(f, "updateServerEdit")->setText(QStringLiteral("http://other/"));
    widget<QLineEdit>(f, "proxyPortEdit")->setText(QStringLiteral("80a"));
    widget<QPushButton>(f, "saveButton")->click();
    EXPECT_TRUE(f.isVisible());  // stays open for a correction
    widget<QLineEdit>(f, "proxyPortEdit")->setText(QStringLiteral("80"));
    widget<QComboBox>(f, "comSpeedBox")->setEditText(QStringLiteral("fast"));
    widget<QPushButton>(f, "saveButton")->click();
  }));
  EXPECT_EQ(app.prompter.errors(),
            (std::vector<QString>{"'80a' is not a valid integer value.", "'fast' is not a valid integer value."}));
  EXPECT_EQ(readFile("Quorrel.ini"), standardIni());
  EXPECT_EQ(m.settings().updateServer(), "http://srv/");
  EXPECT_EQ(m.settings().proxy().port, 3128u);

  // A settings file that cannot be replaced: the toggle's new mark stays in force, unsaved.
  std::filesystem::remove("Quorrel.ini");
  std::filesystem::create_directory("Quorrel.ini");
  widget<QComboBox>(app.dialog(), "comSpeedBox")
      ->setEditText(QStringLiteral("230400"));  // "Отмена" left "fast" in the dialog
  widget<QAction>(m, "alphabeticalSortAction")->trigger();
  EXPECT_EQ(app.prompter.errors().back(), QStringLiteral("File access denied."));
  EXPECT_TRUE(widget<QAction>(m, "manualSortAction")->isChecked());
  EXPECT_TRUE(std::filesystem::is_empty("Quorrel.ini"));
}

TEST(SettingsMenu, TogglesSwapAndSaveEveryTime) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni());
  App app;
  MainWindow& m = *app.form;
  widget<QAction>(m, "alphabeticalSortAction")->trigger();  // the checked item still swaps
  EXPECT_TRUE(widget<QAction>(m, "manualSortAction")->isChecked() &&
              !widget<QAction>(m, "alphabeticalSortAction")->isChecked());
  EXPECT_EQ(lineOf(19), "1");
  widget<QAction>(m, "manualSortAction")->trigger();
  EXPECT_TRUE(widget<QAction>(m, "alphabeticalSortAction")->isChecked() &&
              !widget<QAction>(m, "manualSortAction")->isChecked());
  EXPECT_EQ(lineOf(19), "0");
  widget<QAction>(m, "autoCompileAction")->trigger();
  EXPECT_FALSE(widget<QAction>(m, "autoCompileAction")->isChecked());
  EXPECT_EQ(lineOf(16), "0");
  widget<QAction>(m, "autoCompileAction")->trigger();
  // The values the dialog read at start-up are saved back unchanged.
  EXPECT_EQ(readFile("Quorrel.ini"), standardIni());
}

TEST(SettingsDialog, CancelKeepsModeAndPicturesInMemoryUntilTheNextShowing) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni("1", "0"));
  App app;
  MainWindow& m = *app.form;
  ASSERT_TRUE(app.openDialog([](SettingsDialog& f) {
    // Update mode 0 was never chosen: no radio button is checked.
    EXPECT_FALSE(widget<QRadioButton>(f, "catalogueOnlyButton")->isChecked() ||
                 widget<QRadioButton>(f, "withScreenshotsButton")->isChecked() ||
                 widget<QRadioButton>(f, "wholeBaseButton")->isChecked());
    widget<QRadioButton>(f, "wholeBaseButton")->click();
    widget<QCheckBox>(f, "folderPicturesBox")->click();
    widget<QPushButton>(f, "cancelButton")->click();
  }));
  EXPECT_EQ(m.settings().updateMode(), quorrel::UpdateMode::WholeBase);
  EXPECT_TRUE(m.settings().updateFolderPictures());
  EXPECT_EQ(readFile("Quorrel.ini"), standardIni("1", "0"));

  // The next showing re-reads the file, and the box shows the value in force again.
  writeFile("Quorrel.ini", standardIni("1", "2"));
  ASSERT_TRUE(app.openDialog([&](SettingsDialog& f) {
    EXPECT_TRUE(widget<QRadioButton>(f, "withScreenshotsButton")->isChecked());
    EXPECT_FALSE(widget<QCheckBox>(f, "folderPicturesBox")->isChecked() || m.settings().updateFolderPictures());
    widget<QRadioButton>(f, "wholeBaseButton")->click();
  }));
  // A toggle after "Отмена" saves the dialog's abandoned values too.
  widget<QAction>(m, "autoCompileAction")->trigger();
  EXPECT_EQ(lineOf(3), "3");
}

TEST(SettingsDialog, RefusedWhileBusyAndAFailedReadStillOpens) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni());
  App app;
  std::optional<quorrel::CommandScope> running(std::in_place, app.form->commandState(),
                                               quorrel::CommandHold::CommandsAndCatalogue);
  EXPECT_FALSE(app.openDialog());
  EXPECT_FALSE(app.openDialog([&] { widget<QToolButton>(*app.form, "settingsButton")->click(); }));
  running.reset();
  writeFile("Quorrel.ini", ini({"[Update Server]", "http://new/", "1", "x"}));
  EXPECT_TRUE(app.openDialog([&] { widget<QToolButton>(*app.form, "settingsButton")->click(); },
                             [](SettingsDialog& f) {
                               EXPECT_EQ(widget<QLineEdit>(f, "updateServerEdit")->text(),
                                         QStringLiteral("http://new/"));
                             }));
  EXPECT_EQ(app.prompter.errors(), std::vector<QString>{"Invalid numeric input."});
}

TEST(SettingsSave, AfterAFailedReadLinesNotReadAreWrittenBackAsTheyStood) {
  TempWorkDir dir;
  // The folder-pictures line is no number: the dialog's read stops there, before the proxy and the port.
  std::string damaged = standardIni("1", "2", "x");
  writeFile("Quorrel.ini", damaged);
  App app;
  MainWindow& m = *app.form;
  EXPECT_EQ(app.prompter.errors(), std::vector<QString>{"Invalid numeric input."});
  widget<QAction>(m, "autoCompileAction")->trigger();
  std::string expected = damaged;
  expected.replace(expected.find("230400\r\n1") + 8, 1, "0");  // only the toggled line changes
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  widget<QAction>(m, "alphabeticalSortAction")->trigger();
  widget<QAction>(m, "alphabeticalSortAction")->trigger();
  EXPECT_EQ(readFile("Quorrel.ini"), expected);

  // In the dialog, a value the user changes is saved; the others the read missed still stand as they were.
  ASSERT_TRUE(app.openDialog([](SettingsDialog& f) {
    widget<QLineEdit>(f, "proxyHostEdit")->setText(QStringLiteral("other.proxy"));
    widget<QPushButton>(f, "saveButton")->click();
  }));
  expected.replace(expected.find("proxy.local"), 11, "other.proxy");
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  // Transfers keep the proxy in force: the lines beside the host were not read.
  EXPECT_EQ(m.settings().proxy().host, "proxy.local");
}

TEST(SettingsSave, SortModeStaysWhenTheStartupReadStoppedBeforeIt) {
  TempWorkDir dir;
  std::string damaged = ini({"[Update Server]", "http://srv/", "mode?", "0", "", "[Proxy Settings]", "1", "p.local",
                             "3128", "u", "pw", "", "[Connection]", "COM7", "230400", "1", "", "[Interface]", "1"});
  writeFile("Quorrel.ini", damaged);
  App app;
  MainWindow& m = *app.form;
  EXPECT_EQ(app.prompter.errors(), (std::vector<QString>{"Invalid numeric input.", "Invalid numeric input."}));
  EXPECT_TRUE(
      widget<QAction>(m, "alphabeticalSortAction")->isChecked());  // the start-up read never reached the sort mode
  widget<QAction>(m, "autoCompileAction")->trigger();
  std::string expected = damaged;
  expected.replace(expected.find("230400\r\n1") + 8, 1, "0");
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  // Choosing a sort mode is the user's change, and is saved from then on.
  widget<QAction>(m, "manualSortAction")->trigger();
  EXPECT_EQ(lineOf(19), "1");
  widget<QAction>(m, "alphabeticalSortAction")->trigger();
  EXPECT_EQ(lineOf(19), "0");
  EXPECT_EQ(lineOf(3), "mode?");
}

// A save that rewrites a file it could not read whole keeps the file as it stood beside it, once. A byte-order
// mark before the first header is read past, and not written again.
TEST(SettingsSave, MissingHeaderWithLinesOutOfPlaceKeepsTheOldFileBesideTheNew) {
  const std::string logged = " Файл Quorrel.ini записан заново; прежний файл сохранён как Quorrel.ini.bak";
  std::string misspelt = standardIni();
  misspelt.replace(misspelt.find("[Connection]"), 12, "[Conection]");
  std::string proxyMisspelt = standardIni();
  proxyMisspelt.replace(proxyMisspelt.find("[Proxy Settings]"), 16, "[Proxy settings]");
  // The dialog's save and the two menu handlers that save, on files whose sections are not all found while
  // lines stand in none. ("Ручная сортировка" runs the handler of "Сортировка по алфавиту".)
  const std::vector<std::pair<std::string, std::function<void(App&)>>> saves = {
      {"dialog",
       [](App& a) {
         ASSERT_TRUE(a.openDialog([](SettingsDialog& f) { widget<QPushButton>(f, "saveButton")->click(); }));
       }},
      {"auto compile", [](App& a) { widget<QAction>(*a.form, "autoCompileAction")->trigger(); }},
      {"alphabetical", [](App& a) { widget<QAction>(*a.form, "alphabeticalSortAction")->trigger(); }},
  };
  const std::pair<std::string, std::string> files[] = {{"[Conection]", misspelt},
                                                       {"[Proxy settings]", proxyMisspelt},
                                                       {"a byte-order mark", "\xEF\xBB\xBF" + standardIni()}};
  for (const auto& [name, damaged] : files) {
    for (const auto& [how, save] : saves) {
      SCOPED_TRACE(how + " on " + name);
      TempWorkDir dir;
      writeFile("Quorrel.ini", damaged);
      App app;
      save(app);
      EXPECT_TRUE(app.prompter.asked.empty());
      EXPECT_EQ(readFile("Quorrel.ini.bak"), damaged);
      struct stat st {};
      ASSERT_EQ(::stat("Quorrel.ini.bak", &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
      // The new file: 19 lines from the values in force; the section not found has the dialog's values.
      EXPECT_EQ(lineOf(1) + lineOf(2), "[Update Server]http://srv/");
      EXPECT_EQ(lineOf(6) + lineOf(13), "[Proxy Settings][Connection]");
      EXPECT_EQ(lineOf(14), damaged == misspelt ? "COM1" : "COM3");
      const QString line = widget<QComboBox>(*app.form, "messageLog")->currentText();
      EXPECT_TRUE(line.endsWith(QString::fromStdString(logged)) && line.at(0).isDigit()) << line.toStdString();
      // The next save finds a whole file: the backup keeps the old bytes, and nothing more is logged.
      const int logLines = widget<QComboBox>(*app.form, "messageLog")->count();
      widget<QAction>(*app.form, "autoCompileAction")->trigger();
      EXPECT_EQ(readFile("Quorrel.ini.bak"), damaged);
      EXPECT_EQ(widget<QComboBox>(*app.form, "messageLog")->count(), logLines);
    }
  }

  // A backup that cannot be written refuses the save, with the old file whole.
  TempWorkDir dir;
  writeFile("Quorrel.ini", misspelt);
  std::filesystem::create_directory("Quorrel.ini.bak");
  App app;
  widget<QAction>(*app.form, "autoCompileAction")->trigger();
  EXPECT_EQ(app.prompter.errors(),
            std::vector<QString>{QStringLiteral("Настройки не сохранены: прежний файл Quorrel.ini не удалось сохранить "
                                                "как Quorrel.ini.bak: File access denied.")});
  EXPECT_EQ(readFile("Quorrel.ini"), misspelt);

  // A section that is simply absent, with no lines left over, holds nothing to lose: no backup is made.
  std::filesystem::remove("Quorrel.ini.bak");
  writeFile("Quorrel.ini", ini({"[Update Server]", "http://srv/", "1", "0", "", "[Connection]", "COM3", "115200", "1",
                                "", "[Interface]", "0"}));
  ASSERT_TRUE(app.openDialog());
  widget<QAction>(*app.form, "autoCompileAction")->trigger();
  EXPECT_EQ(app.prompter.errors().size(), 1u);
  EXPECT_EQ(lineOf(14), "COM3");
  EXPECT_EQ(lineOf(6), "[Proxy Settings]");
  EXPECT_FALSE(std::filesystem::exists("Quorrel.ini.bak"));
}

// After a read that stopped early, lines that cannot be written back as they stood: a header where a value
// belongs (a short section), since the next read would find its section there, and a lone CR inside a line,
// which is written as a blank and would read differently. The file is written whole from the values in force
// and kept beside it.
TEST(SettingsSave, LinesThatCannotStandAsTheyStoodRewriteTheWholeFile) {
  struct Case {
    const char* name;
    std::string file;
    std::string inForce;
  };
  const std::vector<Case> cases = {
      {"short connection section",
       ini({"[Update Server]", "http://srv/", "mode?", "0", "", "[Proxy Settings]", "0", "h", "1", "u", "p", "",
            "[Connection]", "COM3", "115200", "[Interface]", "1"}),
       ini({"[Update Server]", "http://srv/", "0", "0", "", "[Proxy Settings]", "0", "", "", "", "", "", "[Connection]",
            "COM1", "115200", "1", "", "[Interface]", "0"})},
      {"CR in the pictures line", standardIni("1", "1", "\r0"),
       ini({"[Update Server]", "http://srv/", "1", "0", "", "[Proxy Settings]", "0", "", "", "", "", "", "[Connection]",
            "COM1", "115200", "1", "", "[Interface]", "0"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempWorkDir dir;
    writeFile("Quorrel.ini", c.file);
    App app;
    ASSERT_TRUE(app.openDialog([](SettingsDialog& f) { widget<QPushButton>(f, "saveButton")->click(); }));
    EXPECT_EQ(app.prompter.errors().back(), QStringLiteral("Invalid numeric input."));
    EXPECT_EQ(readFile("Quorrel.ini"), c.inForce);
    EXPECT_EQ(readFile("Quorrel.ini.bak"), c.file);
    // Later saves keep nothing of the old file and leave the backup alone.
    widget<QAction>(*app.form, "autoCompileAction")->trigger();
    widget<QAction>(*app.form, "autoCompileAction")->trigger();
    EXPECT_EQ(readFile("Quorrel.ini"), c.inForce);
    EXPECT_EQ(readFile("Quorrel.ini.bak"), c.file);
  }
}

// The proxy section of a file written with the proxy off may end after its flag: the next section's lines are
// never taken for proxy details, by either read, and are read and saved as their own. (A whole proxy section
// read while the proxy is off: ProxyDetailsSurviveTheProxyBeingOff.)
TEST(SettingsStartup, ShortProxySectionEndsAtTheNextHeader) {
  const std::string head = "[Update Server]\r\nsrv\r\n1\r\n0\r\n\r\n[Proxy Settings]\r\n";
  const std::string tail = "[Connection]\r\nCOM3\r\n230400\r\n0\r\n\r\n[Interface]\r\n1\r\n";
  std::string lfOnly = head + "0\r\n\r\n" + tail;
  for (std::size_t at; (at = lfOnly.find('\r')) != std::string::npos;) lfOnly.erase(at, 1);
  const struct {
    std::string file;
    const char* hostInForce;      // the start-up read's proxy host
    std::string savedProxyLines;  // lines 7 to 12 after a save
  } cases[] = {
      {head + "0\r\n\r\n" + tail, "", "0\r\n\r\n\r\n\r\n\r\n\r\n"},
      {lfOnly, "", "0\r\n\r\n\r\n\r\n\r\n\r\n"},
      {head + "1\r\nproxy.local\r\n8080\r\n" + tail, "proxy.local", "1\r\nproxy.local\r\n8080\r\n\r\n\r\n\r\n"},
      {head + tail, "", "0\r\n\r\n\r\n\r\n\r\n\r\n"},  // no proxy lines at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempWorkDir dir;
    writeFile("Quorrel.ini", c.file);
    App app;
    MainWindow& m = *app.form;
    EXPECT_TRUE(app.prompter.asked.empty());
    EXPECT_EQ(m.settings().proxy().host, c.hostInForce);
    EXPECT_EQ(m.settings().comPort(), "COM3");
    EXPECT_EQ(m.settings().comSpeed(), 230400);
    EXPECT_EQ(widget<QComboBox>(app.dialog(), "comPortBox")->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(widget<QComboBox>(app.dialog(), "comSpeedBox")->currentText(), QStringLiteral("230400"));
    EXPECT_TRUE(!widget<QAction>(m, "autoCompileAction")->isChecked() &&
                widget<QAction>(m, "manualSortAction")->isChecked());
    widget<QAction>(m, "autoCompileAction")->trigger();  // "Настройки → Автоматическая компиляция Java"
    std::string saved = tail;
    saved.replace(saved.find("230400\r\n0") + 8, 1, "1");
    EXPECT_EQ(readFile("Quorrel.ini"), head + c.savedProxyLines + saved);
    EXPECT_FALSE(std::filesystem::exists("Quorrel.ini.bak"));
  }
}
