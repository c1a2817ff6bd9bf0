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

#include "app/CommUnit.h"
#include "app/MainUnit.h"
#include "net/HTTPGet.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

using testsupport::cp1251;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::TempWorkDir;
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
  std::unique_ptr<TMainForm> form;
  App() {
    writeFile("Javadata.xml", "<model name=\"M\">\r\n<end>\r\n");
    form = createApplicationWindows(&prompter);
  }
  TCommPortForm& dialog() const { return *form->CommPortForm; }

  // Opens the dialog through `open` (as the user would); `whileOpen` runs once it shows, and the dialog is
  // then cancelled unless it was closed. Returns whether the dialog opened.
  bool openDialog(const std::function<void()>& open, const std::function<void(TCommPortForm&)>& whileOpen = {}) {
    bool opened = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      opened = dialog().isVisible();
      if (opened && whileOpen) whileOpen(dialog());
      if (dialog().isVisible()) dialog().Button2->click();
    });
    timer.start(0);
    open();
    QCoreApplication::processEvents();  // runs the timer when nothing opened
    return opened;
  }
  bool openDialog(const std::function<void(TCommPortForm&)>& whileOpen = {}) {
    return openDialog([this] { form->N8->trigger(); }, whileOpen);
  }
};

}  // namespace

TEST(SettingsStartup, MissingFileIsReportedThriceAndSaveCreatesACompleteFile) {
  TempWorkDir dir;
  App app;
  // Start-up and the dialog's creation both report it; the catalogue is not loaded.
  EXPECT_EQ(app.prompter.errors(), (std::vector<QString>{"File not found.", "File not found."}));
  EXPECT_EQ(app.form->TreeView1->topLevelItemCount(), 0);
  // Showing reports it again and opens all the same; saving creates the whole file, owner-only.
  EXPECT_TRUE(app.openDialog([](TCommPortForm& f) { f.Button1->click(); }));
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
    ASSERT_TRUE(app.openDialog([](TCommPortForm& f) {
      f.Edit1->setText(QStringLiteral("http://сервер.рф/quorrel/"));
      f.RadioButton2->click();
      f.CheckBox1->click();
      f.CheckBox2->click();
      EXPECT_TRUE(f.Edit2->isEnabled() && f.Label4->isEnabled());
      f.Edit2->setText(QStringLiteral("proxy.local"));
      f.Edit3->setText(QStringLiteral("8080"));
      f.Edit4->setText(QStringLiteral("Иван"));
      f.Edit5->setText(QStringLiteral("пароль 1"));
      f.ComboBox1->setEditText(QStringLiteral("COM21"));  // typed, not in the list
      f.ComboBox2->setEditText(QStringLiteral("460800"));
      f.Button1->click();
      EXPECT_FALSE(f.isVisible());
    }));
    EXPECT_EQ(readFile("Quorrel.ini"),
              ini({"[Update Server]", "http://сервер.рф/quorrel/", "2", "1", "", "[Proxy Settings]", "1", "proxy.local",
                   "8080", "Иван", "пароль 1", "", "[Connection]", "COM21", "460800", "1", "", "[Interface]", "0"}));
  }
  App fresh;
  EXPECT_TRUE(fresh.prompter.asked.empty());
  TMainForm& m = *fresh.form;
  EXPECT_EQ(m.UpdateServer, cp1251("http://сервер.рф/quorrel/"));
  EXPECT_EQ(m.UpdateMode, 2);
  EXPECT_TRUE(m.UpdateFolderPictures);
  EXPECT_EQ(m.HTTPGetFile->ProxyHost, "proxy.local");
  EXPECT_EQ(m.HTTPGetFile->ProxyPort, 8080u);
  EXPECT_EQ(m.HTTPGetFile->UserName, cp1251("Иван"));
  EXPECT_EQ(m.HTTPGetFile->Password, cp1251("пароль 1"));
  EXPECT_EQ(m.ComPort, "COM21");
  EXPECT_EQ(m.ComSpeed, 460800);
  TCommPortForm& d = fresh.dialog();
  EXPECT_TRUE(d.RadioButton2->isChecked() && d.CheckBox1->isChecked() && d.CheckBox2->isChecked());
  EXPECT_TRUE(d.Edit5->isEnabled());
  EXPECT_EQ(d.Edit5->text(), QStringLiteral("пароль 1"));
  EXPECT_EQ(d.ComboBox1->currentText(), QStringLiteral("COM21"));
}

TEST(SettingsDialog, ProxyDetailsSurviveTheProxyBeingOff) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni("0"));
  App app;
  TMainForm& m = *app.form;
  EXPECT_TRUE(m.HTTPGetFile->ProxyHost.empty());
  EXPECT_FALSE(app.dialog().Edit2->isEnabled());
  // A menu toggle after the restart keeps lines 8 to 11.
  m.Java1->trigger();
  std::string expected = standardIni("0");
  expected.replace(expected.find("230400\r\n1") + 8, 1, "0");
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  // Switching the proxy on shows them again; saving puts them into the download component.
  ASSERT_TRUE(app.openDialog([](TCommPortForm& f) {
    f.CheckBox2->click();
    EXPECT_EQ(f.Edit3->text(), QStringLiteral("3128"));
    f.Button1->click();
  }));
  EXPECT_EQ(m.HTTPGetFile->UserName, cp1251("Иван"));
  EXPECT_EQ(m.HTTPGetFile->ProxyPort, 3128u);
  // Switching it off empties the component but not the file.
  ASSERT_TRUE(app.openDialog([](TCommPortForm& f) {
    f.CheckBox2->click();
    f.Button1->click();
  }));
  EXPECT_TRUE(m.HTTPGetFile->ProxyHost.empty() && m.HTTPGetFile->Password.empty());
  EXPECT_EQ(m.HTTPGetFile->ProxyPort, 0u);
  EXPECT_EQ(lineOf(7), "0");
  EXPECT_EQ(lineOf(11), cp1251("секрет"));
}

TEST(SettingsStartup, FlagsAreOffOnlyWhenExactlyZero) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", ini({"[Update Server]", "s", "1", "no", "", "[Proxy Settings]", " 0", "h", "81", "u", "p",
                                "", "[Connection]", "COM2", "115200", "", "", "[Interface]", "manual"}));
  ScriptedPrompter prompter;
  TMainForm m(&prompter);  // the start-up read alone
  EXPECT_TRUE(m.UpdateFolderPictures);
  EXPECT_EQ(m.HTTPGetFile->ProxyPort, 81u);
  EXPECT_TRUE(m.Java1->isChecked());
  EXPECT_TRUE(m.N17->isChecked() && !m.N16->isChecked());
}

TEST(SettingsStartup, PositionalReadsSkipExtraLinesBetweenSectionsAndShiftInside) {
  TempWorkDir dir;
  // Extra lines between sections, no proxy section, and a file that ends early: no error.
  writeFile("Quorrel.ini", ini({"note", "[Update Server]", "s", "3", "1", "x", "[Connection]", "COM5"}));
  {
    App app;
    EXPECT_TRUE(app.prompter.asked.empty());
    EXPECT_EQ(app.form->UpdateMode, 3);
    EXPECT_EQ(app.form->ComPort, "COM5");
    EXPECT_EQ(app.form->ComSpeed, 0);
    EXPECT_TRUE(app.dialog().RadioButton3->isChecked());
  }
  // An extra line inside a section shifts the values: the update mode meets the address and both reads stop.
  writeFile("Quorrel.ini", ini({"[Update Server]", "mirror", "http://srv/", "1", "1", "", "[Connection]", "COM5"}));
  App app;
  EXPECT_EQ(app.prompter.errors(), (std::vector<QString>{"Invalid numeric input.", "Invalid numeric input."}));
  EXPECT_EQ(app.form->UpdateServer, "mirror");
  EXPECT_EQ(app.form->ComPort, "");
  EXPECT_EQ(app.dialog().ComboBox1->currentText(), QStringLiteral("COM1"));
}

TEST(SettingsDialog, RefusedSaveLeavesFileAndValuesAsTheyWere) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni());
  App app;
  TMainForm& m = *app.form;
  ASSERT_TRUE(app.openDialog([&](TCommPortForm& f) {
    f.Edit1->setText(QStringLiteral("http://other/"));
    f.Edit3->setText(QStringLiteral("80a"));
    f.Button1->click();
    EXPECT_TRUE(f.isVisible());  // stays open for a correction
    f.Edit3->setText(QStringLiteral("80"));
    f.ComboBox2->setEditText(QStringLiteral("fast"));
    f.Button1->click();
  }));
  EXPECT_EQ(app.prompter.errors(),
            (std::vector<QString>{"'80a' is not a valid integer value.", "'fast' is not a valid integer value."}));
  EXPECT_EQ(readFile("Quorrel.ini"), standardIni());
  EXPECT_EQ(m.UpdateServer, "http://srv/");
  EXPECT_EQ(m.HTTPGetFile->ProxyPort, 3128u);

  // A settings file that cannot be replaced: the toggle's new mark stays in force, unsaved.
  std::filesystem::remove("Quorrel.ini");
  std::filesystem::create_directory("Quorrel.ini");
  app.dialog().ComboBox2->setEditText(QStringLiteral("230400"));  // "Отмена" left "fast" in the dialog
  m.N16->trigger();
  EXPECT_EQ(app.prompter.errors().back(), QStringLiteral("File access denied."));
  EXPECT_TRUE(m.N17->isChecked());
  EXPECT_TRUE(std::filesystem::is_empty("Quorrel.ini"));
}

TEST(SettingsMenu, TogglesSwapAndSaveEveryTime) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni());
  App app;
  TMainForm& m = *app.form;
  m.N16->trigger();  // the checked item still swaps
  EXPECT_TRUE(m.N17->isChecked() && !m.N16->isChecked());
  EXPECT_EQ(lineOf(19), "1");
  m.N17->trigger();
  EXPECT_TRUE(m.N16->isChecked() && !m.N17->isChecked());
  EXPECT_EQ(lineOf(19), "0");
  m.Java1->trigger();
  EXPECT_FALSE(m.Java1->isChecked());
  EXPECT_EQ(lineOf(16), "0");
  m.Java1->trigger();
  // The values the dialog read at start-up are saved back unchanged.
  EXPECT_EQ(readFile("Quorrel.ini"), standardIni());
}

TEST(SettingsDialog, CancelKeepsModeAndPicturesInMemoryUntilTheNextShowing) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni("1", "0"));
  App app;
  TMainForm& m = *app.form;
  ASSERT_TRUE(app.openDialog([](TCommPortForm& f) {
    // Update mode 0 was never chosen: no radio button is checked.
    EXPECT_FALSE(f.RadioButton1->isChecked() || f.RadioButton2->isChecked() || f.RadioButton3->isChecked());
    f.RadioButton3->click();
    f.CheckBox1->click();
    f.Button2->click();
  }));
  EXPECT_EQ(m.UpdateMode, 3);
  EXPECT_TRUE(m.UpdateFolderPictures);
  EXPECT_EQ(readFile("Quorrel.ini"), standardIni("1", "0"));

  // The next showing re-reads the file, and the box shows the value in force again.
  writeFile("Quorrel.ini", standardIni("1", "2"));
  ASSERT_TRUE(app.openDialog([&](TCommPortForm& f) {
    EXPECT_TRUE(f.RadioButton2->isChecked());
    EXPECT_FALSE(f.CheckBox1->isChecked() || m.UpdateFolderPictures);
    f.RadioButton3->click();
  }));
  // A toggle after "Отмена" saves the dialog's abandoned values too.
  m.Java1->trigger();
  EXPECT_EQ(lineOf(3), "3");
}

TEST(SettingsDialog, RefusedWhileBusyAndAFailedReadStillOpens) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", standardIni());
  App app;
  app.form->Busy = true;
  EXPECT_FALSE(app.openDialog());
  EXPECT_FALSE(app.openDialog([&] { app.form->SpeedButton4->click(); }));
  app.form->Busy = false;
  writeFile("Quorrel.ini", ini({"[Update Server]", "http://new/", "1", "x"}));
  EXPECT_TRUE(app.openDialog([&] { app.form->SpeedButton4->click(); },
                             [](TCommPortForm& f) { EXPECT_EQ(f.Edit1->text(), QStringLiteral("http://new/")); }));
  EXPECT_EQ(app.prompter.errors(), std::vector<QString>{"Invalid numeric input."});
}

TEST(SettingsSave, AfterAFailedReadLinesNotReadAreWrittenBackAsTheyStood) {
  TempWorkDir dir;
  // The folder-pictures line is no number: the dialog's read stops there, before the proxy and the port.
  std::string damaged = standardIni("1", "2", "x");
  writeFile("Quorrel.ini", damaged);
  App app;
  TMainForm& m = *app.form;
  EXPECT_EQ(app.prompter.errors(), std::vector<QString>{"Invalid numeric input."});
  m.Java1->trigger();
  std::string expected = damaged;
  expected.replace(expected.find("230400\r\n1") + 8, 1, "0");  // only the toggled line changes
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  m.N16->trigger();
  m.N16->trigger();
  EXPECT_EQ(readFile("Quorrel.ini"), expected);

  // In the dialog, a value the user changes is saved; the others the read missed still stand as they were.
  ASSERT_TRUE(app.openDialog([](TCommPortForm& f) {
    f.Edit2->setText(QStringLiteral("other.proxy"));
    f.Button1->click();
  }));
  expected.replace(expected.find("proxy.local"), 11, "other.proxy");
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  // The download component keeps its proxy: the lines beside the host were not read.
  EXPECT_EQ(m.HTTPGetFile->ProxyHost, "proxy.local");
}

TEST(SettingsSave, SortModeStaysWhenTheStartupReadStoppedBeforeIt) {
  TempWorkDir dir;
  std::string damaged = ini({"[Update Server]", "http://srv/", "mode?", "0", "", "[Proxy Settings]", "1", "p.local",
                             "3128", "u", "pw", "", "[Connection]", "COM7", "230400", "1", "", "[Interface]", "1"});
  writeFile("Quorrel.ini", damaged);
  App app;
  TMainForm& m = *app.form;
  EXPECT_EQ(app.prompter.errors(), (std::vector<QString>{"Invalid numeric input.", "Invalid numeric input."}));
  EXPECT_TRUE(m.N16->isChecked());  // the start-up read never reached the sort mode
  m.Java1->trigger();
  std::string expected = damaged;
  expected.replace(expected.find("230400\r\n1") + 8, 1, "0");
  EXPECT_EQ(readFile("Quorrel.ini"), expected);
  // Choosing a sort mode is the user's change, and is saved from then on.
  m.N17->trigger();
  EXPECT_EQ(lineOf(19), "1");
  m.N16->trigger();
  EXPECT_EQ(lineOf(19), "0");
  EXPECT_EQ(lineOf(3), "mode?");
}

TEST(SettingsSave, MissingHeaderWithLinesOutOfPlaceRefusesAndWritesNothing) {
  TempWorkDir dir;
  std::string damaged = standardIni();
  damaged.replace(damaged.find("[Proxy Settings]"), 16, "[Proxy settings]");
  writeFile("Quorrel.ini", damaged);
  App app;
  TMainForm& m = *app.form;
  m.Java1->trigger();
  ASSERT_EQ(app.prompter.errors().size(), 1u);
  EXPECT_EQ(app.prompter.errors()[0],
            QStringLiteral("Настройки не сохранены: в файле Quorrel.ini нет строки \"[Proxy Settings]\", и его "
                           "строки не на своих местах."));
  EXPECT_EQ(readFile("Quorrel.ini"), damaged);
  EXPECT_FALSE(m.Java1->isChecked());  // the mark stays in force, unsaved

  // A section that is simply absent, with no lines left over, holds nothing to lose: the save goes ahead.
  writeFile("Quorrel.ini", ini({"[Update Server]", "http://srv/", "1", "0", "", "[Connection]", "COM3", "115200", "1",
                                "", "[Interface]", "0"}));
  ASSERT_TRUE(app.openDialog());
  m.Java1->trigger();
  EXPECT_EQ(app.prompter.errors().size(), 1u);
  EXPECT_EQ(lineOf(14), "COM3");
  EXPECT_EQ(lineOf(6), "[Proxy Settings]");
}
