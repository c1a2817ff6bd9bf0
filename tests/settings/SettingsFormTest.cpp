// The settings file as the settings dialog meets it, with a form of plain values in place of the dialog: what
// a read hands the form, and what a save takes from the form and what from the values in force.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "common/MessageLog.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"

using namespace quorrel;
using testsupport::errorOf;
using testsupport::readFile;
using testsupport::TempWorkDir;
using testsupport::writeFile;

namespace {

const std::string WholeFile =
    "[Update Server]\r\nhttp://srv/\r\n2\r\n1\r\n\r\n[Proxy Settings]\r\n0\r\nproxy.local\r\n3128\r\nu\r\npw\r\n\r\n"
    "[Connection]\r\nCOM3\r\n230400\r\n0\r\n\r\n[Interface]\r\n0\r\n";

struct PlainForm : SettingsForm {
  std::vector<SettingsFileRead> reads;
  SettingsFormValues shown;
  void fill(const SettingsFileRead& read) override { reads.push_back(read); }
  SettingsFormValues values() const override { return shown; }
};

struct LogLines : MessageLog {
  std::vector<QString> lines;
  void addLine(const QString& line) override { lines.push_back(line); }
  void insertLine(const QString& line) override { lines.push_back(line); }
};

struct FileUnderTest {
  Settings settings;
  LogLines log;
  PlainForm form;
  SettingsFile file{settings, log, form};
};

}  // namespace

TEST(SettingsFileForm, ReadHandsTheFormEveryValueItReachedAndTheAutoCompilationToTheValuesInForce) {
  TempWorkDir dir;
  writeFile("Quorrel.ini", WholeFile);
  FileUnderTest t;
  t.file.load();
  ASSERT_EQ(t.form.reads.size(), 1u);
  const SettingsFileRead& read = t.form.reads[0];
  EXPECT_EQ(read.updateServer, "http://srv/");
  EXPECT_EQ(read.updateMode, 2);
  EXPECT_EQ(read.updateFolderPictures, true);
  // The proxy is off, and its details come all the same.
  EXPECT_EQ(read.useProxy, false);
  EXPECT_EQ(read.proxyHost + read.proxyPort + read.proxyUserName + read.proxyPassword, "proxy.local3128upw");
  EXPECT_EQ(read.comPort, "COM3");
  EXPECT_EQ(read.comSpeed, "230400");
  EXPECT_FALSE(t.settings.autoCompileJava());

  // A bad update mode stops the read: the form gets the address before it and nothing after, then the error.
  writeFile("Quorrel.ini", "[Update Server]\r\nhttp://other/\r\nmode?\r\n0\r\n\r\n[Connection]\r\nCOM5\r\n1\r\n1\r\n");
  EXPECT_EQ(errorOf([&] { t.file.load(); }), "Invalid numeric input");
  ASSERT_EQ(t.form.reads.size(), 2u);
  EXPECT_EQ(t.form.reads[1].updateServer, "http://other/");
  EXPECT_FALSE(t.form.reads[1].updateMode || t.form.reads[1].useProxy || t.form.reads[1].comPort);
  EXPECT_FALSE(t.settings.autoCompileJava());

  // A missing file is the file's error, and the form is filled with nothing.
  std::filesystem::remove("Quorrel.ini");
  EXPECT_EQ(errorOf([&] { t.file.load(); }), "File not found");
  ASSERT_EQ(t.form.reads.size(), 3u);
  EXPECT_FALSE(t.form.reads[2].updateServer);
}

TEST(SettingsFileForm, SaveTakesTheFormsValuesAndTheModesInForceAndAppliesThemOnlyWhenWritten) {
  TempWorkDir dir;
  FileUnderTest t;
  t.form.shown = {"http://srv/", true, true, "proxy.local", "8080", "u", "pw", "COM2", "460800"};
  t.settings.setUpdateMode(quorrel::UpdateMode::WholeBase);
  t.settings.setSortMarks(false, true);
  t.file.save();
  EXPECT_EQ(
      readFile("Quorrel.ini"),
      "[Update Server]\r\nhttp://srv/\r\n3\r\n1\r\n\r\n[Proxy Settings]\r\n1\r\nproxy.local\r\n8080\r\nu\r\npw\r\n"
      "\r\n[Connection]\r\nCOM2\r\n460800\r\n1\r\n\r\n[Interface]\r\n1\r\n");
  EXPECT_EQ(t.settings.updateServer(), "http://srv/");
  EXPECT_EQ(t.settings.proxy().port, 8080u);
  EXPECT_EQ(t.settings.comSpeed(), 460800);

  // A number the form holds that is none refuses the save before anything is written or applied.
  t.form.shown.updateServer = "http://other/";
  t.form.shown.comSpeed = "fast";
  EXPECT_EQ(errorOf([&] { t.file.save(); }), "'fast' is not a valid integer value");
  EXPECT_EQ(t.settings.updateServer(), "http://srv/");
  EXPECT_EQ(readFile("Quorrel.ini").find("other"), std::string::npos);
  EXPECT_TRUE(t.log.lines.empty());
}

TEST(SettingsFileForm, RewriteOfAFileItCannotPatchKeepsTheOldOneAndSaysSoOnce) {
  TempWorkDir dir;
  const std::string marked = "\xEF\xBB\xBF" + WholeFile;
  writeFile("Quorrel.ini", marked);
  FileUnderTest t;
  t.file.load();
  t.form.shown = {"http://srv/", true, false, "", "", "", "", "COM3", "230400"};
  t.file.save();
  EXPECT_EQ(readFile("Quorrel.ini.bak"), marked);
  EXPECT_EQ(readFile("Quorrel.ini").substr(0, 15), "[Update Server]");
  ASSERT_EQ(t.log.lines.size(), 1u);
  EXPECT_TRUE(t.log.lines[0].endsWith(
      QStringLiteral(" Файл Quorrel.ini записан заново; прежний файл сохранён как Quorrel.ini.bak")));
  t.file.save();
  EXPECT_EQ(readFile("Quorrel.ini.bak"), marked);
  EXPECT_EQ(t.log.lines.size(), 1u);
}
