// The parts of the cable path on their own: the AT reply reader, the port map, the folder-listing parser, the
// meaning of an open error, the lock file, the code-page converter, and which phone the plugin talks to.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cerrno>
#include <string>
#include <vector>

#include "AtChannel.h"
#include "CablePhone.h"
#include "Codepage.h"
#include "FolderListing.h"
#include "PortMap.h"
#include "SerialLine.h"
#include "phone/PluginBinding.h"
#include "support/PhoneSimulator.h"
#include "support/TempDir.h"

namespace {

using namespace cable;
using sghfs::ansiToUtf16be;
using sghfs::ansiToUtf8;
using sghfs::nameToAnsi;
using sghfs::utf8ToAnsi;

struct ReplyCase {
  const char* what;
  const char* command;
  std::vector<std::string> pieces;  // as they arrive
  std::string text;                 // the reply handed to the host
  std::string finalCode;
  bool ok;
};

TEST(AtReply, IsReadToItsFinalCodeWhateverComesAroundIt) {
  const std::vector<ReplyCase> cases = {
      {"plain", "AT+CGMI", {"\r\nSAMSUNG\r\n\r\nOK\r\n"}, "SAMSUNG\r\n\r\nOK\r\n", "OK", true},
      {"echo first", "AT+CGMI", {"AT+CGMI\r\r\nSAMSUNG\r\n\r\nOK\r\n"}, "SAMSUNG\r\n\r\nOK\r\n", "OK", true},
      {"a byte at a time",
       "AT+CGMM",
       {"\r", "\n", "S", "G", "H", "\r", "\n", "O", "K", "\r"},
       "SGH\r\n\r\nOK\r\n",
       "OK",
       true},
      {"unsolicited lines",
       "AT+CGSN",
       {"\r\n+CREG: 1\r\nRING\r\n^SYSSTART\r\n35123\r\nOK\r\n"},
       "35123\r\n\r\nOK\r\n",
       "OK",
       true},
      {"own +NAME: line kept",
       "AT+CGMI",
       {"+CGMI: SAMSUNG\r\n+CMTI: \"SM\",1\r\nOK\r\n"},
       "+CGMI: SAMSUNG\r\n\r\nOK\r\n",
       "OK",
       true},
      {"ERROR", "AT+CBC", {"\r\nERROR\r\n"}, "ERROR\r\n", "ERROR", false},
      {"CME error", "AT+CPBR=1", {"\r\n+CME ERROR: 21\r\n"}, "+CME ERROR: 21\r\n", "+CME ERROR: 21", false},
      {"CONNECT", "AT+CPROT=0", {"\r\nCONNECT\r\n"}, "CONNECT\r\n", "CONNECT", true},
      {"lone LF lines", "AT+CGMI", {"\nNOKIA\n\nOK\n"}, "NOKIA\r\n\r\nOK\r\n", "OK", true},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.what);
    AtReplyReader r(c.command);
    for (const std::string& p : c.pieces) r.feed(p.data(), p.size());
    ASSERT_TRUE(r.done());
    EXPECT_EQ(r.text(), c.text);
    EXPECT_EQ(r.finalCode(), c.finalCode);
    EXPECT_EQ(r.succeeded(), c.ok);
  }
}

TEST(AtReply, StopsAtTheFinalLineAndLeavesWhatFollows) {
  AtReplyReader r("AT+CPROT=0");
  const std::string data("\r\nCONNECT\r\n\x80\x00\x07", 14);
  const std::size_t used = r.feed(data.data(), data.size());
  EXPECT_TRUE(r.done());
  EXPECT_EQ(data.substr(used), std::string("\x80\x00\x07", 3));
}

TEST(AtReply, AnEndlessReplyIsCappedToTheHostBuffer) {
  AtReplyReader r("AT+CPBR=1,250", 1000);
  const std::string line(300, 'x');
  for (int i = 0; i < 100; ++i) r.feed((line + "\r\n").data(), line.size() + 2);
  const std::string longLine(5000, 'y');
  r.feed(longLine.data(), longLine.size());
  r.feed("\r\nOK\r\n", 6);
  ASSERT_TRUE(r.done());
  EXPECT_LE(r.text().size(), 1000u);
  EXPECT_EQ(r.text().substr(r.text().size() - 4), "OK\r\n");
  EXPECT_EQ(AtReplyReader("AT").text().size(), 2u);  // nothing yet: an empty final line
}

TEST(PortMap, MapsPortsFromTheFileElseTheDevicesFoundInOrder) {
  const PortMap map = parsePortMap("# phones\r\ncom3 = /dev/rfcomm0\r\nCOM17=/dev/x\r\nCOMx=/dev/y\r\nTimeout=250\n");
  EXPECT_EQ(map.timeoutMs, 250);
  const std::vector<std::string> found = {"/dev/ttyACM0", "/dev/ttyUSB0"};
  EXPECT_EQ(deviceForPort(3, map, found), "/dev/rfcomm0");
  EXPECT_EQ(deviceForPort(1, map, found), "/dev/ttyACM0");
  EXPECT_EQ(deviceForPort(2, map, found), "/dev/ttyUSB0");
  EXPECT_EQ(deviceForPort(4, map, found), "");
  EXPECT_EQ(deviceForPort(17, map, found), "");
  EXPECT_EQ(parsePortMap("Timeout=0\r\n").timeoutMs, 5000);  // out of range: the default stays

  testsupport::TempWorkDir dir;
  for (const char* name : {"ttyUSB0", "ttyACM10", "ttyACM2", "ttyS0", "ttyACMx"})
    testsupport::writeFile(dir / name, "");
  EXPECT_EQ(scanDevices(dir.path().substr(0, dir.path().size() - 1)),
            (std::vector<std::string>{dir / "ttyACM2", dir / "ttyACM10", dir / "ttyUSB0"}));
}

TEST(FolderListing, ReadsFilesAndFoldersAndLeavesOutWhatCannotBeAName) {
  const auto entries = parseFolderListing(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE folder-listing SYSTEM \"obex-folder-listing.dtd\">\n"
      "<folder-listing version=\"1.0\"><parent-folder/>"
      "<folder name=\"sub\"/>"
      "<file name=\"a_suite.jad\" size=\"16\" modified=\"20240131T235959Z\"/>"
      "<file name=\"&#x418;\xD0\xB3\xD1\x80\xD0\xB0.jar\" size=\"12x\"/>"
      "<file name=\"../x\" size=\"1\"/><file size=\"2\"/><file name=\"..\"/><other name=\"o\"/>"
      "</folder-listing>");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_TRUE((*entries)[0].folder);
  EXPECT_EQ((*entries)[1].name, "a_suite.jad");
  EXPECT_EQ((*entries)[1].size, 16u);
  EXPECT_EQ((*entries)[1].modified, 1706745599);
  EXPECT_EQ((*entries)[2].name, "\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0.jar");
  EXPECT_EQ((*entries)[2].size, 0u);

  for (const char* bad : {"", "<folder-listing>", "<other/>", "not xml", "<folder-listing><file name='a'>"}) {
    EXPECT_FALSE(parseFolderListing(bad)) << bad;
  }
  EXPECT_TRUE(parseFolderListing("<folder-listing/>")->empty());
}

TEST(SerialLine, OpenErrorsMeanWhatTheUserCanDo) {
  EXPECT_EQ(openErrorOf(ENOENT), OpenError::NoDevice);
  EXPECT_EQ(openErrorOf(ENODEV), OpenError::NoDevice);
  EXPECT_EQ(openErrorOf(EACCES), OpenError::NoPermission);
  EXPECT_EQ(openErrorOf(EPERM), OpenError::NoPermission);
  EXPECT_EQ(openErrorOf(EBUSY), OpenError::Busy);
  EXPECT_EQ(openErrorOf(EIO), OpenError::Other);
  EXPECT_EQ(openFailureText(OpenError::NoPermission, EACCES, "/dev/ttyACM0", "COM1"),
            "Нет прав на /dev/ttyACM0 (COM1) (войдите в группу dialout)");
  EXPECT_EQ(lockFileName("/dev/ttyACM0"), "LCK..ttyACM0");
  EXPECT_EQ(lockFileName("/dev/pts/3"), "LCK..pts_3");
  EXPECT_EQ(lockFileName("/tmp/x/line"), "LCK..line");
}

TEST(SerialLine, LockFileIsTakenHeldAndStaleOnesTakenOver) {
  testsupport::TempWorkDir dir;
  ::setenv("SGHFS_LOCK_DIR", dir.path().c_str(), 1);
  testsupport::PhoneSimulator phone(dir / "phone", {});
  const std::string lock = dir / lockFileName(phone.device());
  {
    SerialLine line;
    ASSERT_TRUE(line.open(phone.device(), 57600));
    EXPECT_EQ(line.speed(), 57600);
    EXPECT_EQ(std::stol(testsupport::readFile(lock)), static_cast<long>(::getpid()));
  }
  EXPECT_FALSE(testsupport::exists(lock));       // closing gives it up
  testsupport::writeFile(lock, "  99999999\n");  // no such process: stale
  SerialLine line;
  EXPECT_TRUE(line.open(phone.device(), 12345));
  EXPECT_EQ(line.speed(), 115200);  // an unknown speed falls back
  line.close();
  ::unsetenv("SGHFS_LOCK_DIR");
}

// The converters are opened once and reused: a character that did not convert must leave nothing behind for
// the next text, in either direction and in any order.
TEST(Codepage, EachTextConvertsOnItsOwnWhateverCameBefore) {
  const std::string ansiName("\xE8\xE3\xF0\xE0.jar", 8);  // "игра.jar"
  const std::string utf16Name("\x04\x38\x04\x33\x04\x40\x04\x30\0.\0j\0a\0r", 16);
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(ansiToUtf16be(ansiName), utf16Name);
    EXPECT_EQ(ansiToUtf16be("a\x98"
                            "b"),
              std::string("\0a\0?\0b", 6));  // 0x98 is unassigned
    EXPECT_EQ(ansiToUtf16be(ansiName), utf16Name);
    EXPECT_EQ(utf8ToAnsi("\xD0\xB8\xE2\x82"), std::string("\xE8?", 2));  // a sequence cut short at the end
    EXPECT_EQ(utf8ToAnsi("\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0.jar"), ansiName);
    EXPECT_EQ(utf8ToAnsi("\xE2\x82\xAC x \xF0\x9F\x98\x80"), std::string("\x88 x ?", 5));
  }
  EXPECT_EQ(ansiToUtf16be(""), "");
}

// Both phones convert with the one table: each Windows-1251 byte reads as the character Qt's own converter
// gives it, in UTF-8 for the folder phone's file names and in UTF-16 for the cable's OBEX names, and goes back
// to itself.
TEST(Codepage, EveryWindows1251ByteMeansTheSameCharacterInEveryDirection) {
  QStringDecoder reference("windows-1251");
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // no character
    const std::string ansi(1, static_cast<char>(b));
    const QString expected = reference.decode(QByteArray::fromStdString(ansi));
    ASSERT_EQ(expected.size(), 1) << b;
    EXPECT_EQ(ansiToUtf8(ansi), expected.toStdString()) << b;
    const char16_t unit = expected.at(0).unicode();
    EXPECT_EQ(ansiToUtf16be(ansi), std::string({static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)})) << b;
    EXPECT_EQ(utf8ToAnsi(ansiToUtf8(ansi)), ansi) << b;
  }
  EXPECT_EQ(ansiToUtf8("a\x98"), "a?");
}

// A text known to be UTF-8 loses only its broken sequences, one '?' each; a name of no declared code page that
// is not UTF-8 is already Windows-1251 and is kept whole. Malformed sequences never decode to a character.
TEST(Codepage, BrokenSequencesBecomeOneMarkEachUnlessTheNameIsWindows1251) {
  struct Case {
    const char* what;
    std::string text;
    std::string asText;  // utf8ToAnsi
    std::string asName;  // nameToAnsi
    bool utf8;
  };
  const std::string tetris("\xD2\xE5\xF2\xF0\xE8\xF1");  // "Тетрис" in Windows-1251
  const std::vector<Case> cases{
      {"UTF-8", "\xD0\xA2\xD0\xB5\xD1\x82\xD1\x80\xD0\xB8\xD1\x81", tetris, tetris, true},
      {"Windows-1251", tetris, "??????", tetris, false},
      {"overlong slash", "a\xC0\xAF" "b", "a?b", "a\xC0\xAF" "b", false},
      {"surrogate", "\xED\xA0\x80!", "?!", "\xED\xA0\x80!", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "?", "\xF4\x90\x80\x80", false},
      {"stray continuation", "\x80z", "?z", "\x80z", false},
      {"cut short before a letter", "\xE2\x82z", "?z", "\xE2\x82z", false},
      {"lacking in Windows-1251", "\xE6\xB8\xB8 \xF0\x9F\x98\x80", "? ?", "? ?", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sghfs::isUtf8(c.text), c.utf8) << c.what;
    EXPECT_EQ(utf8ToAnsi(c.text), c.asText) << c.what;
    EXPECT_EQ(nameToAnsi(c.text), c.asName) << c.what;
  }
}

// The plugin, loaded as the application loads it, talks to the phone its connect found: here the phone on the
// cable, then the folder phone that appears on the same port (the cable is hung up, and hears nothing more),
// then no phone once that one is disconnected.
TEST(PortChoice, EachConnectChoosesThePortsPhoneAndEveryCallGoesToIt) {
  testsupport::TempWorkDir dir;
  ::setenv("SGHFS_PHONES", (dir / "phones").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  ::setenv("SGHFS_LOCK_DIR", dir.path().c_str(), 1);
  testsupport::writeFile(dir / "cable/java/a_suite.jad", "MIDlet-Name: A\r\n");
  testsupport::PhoneSimulator cablePhone(dir / "cable", {});
  testsupport::writeFile(dir / "config/sghfs/ports.ini", "COM3=" + cablePhone.device() + "\r\nTimeout=400\r\n");
  std::vector<std::string> logs;
  const auto connect = [&] {
    return PluginBinding::connect(3, 115200, [&](const std::string& t) { logs.push_back(t); }, nullptr);
  };
  const auto firstName = [](SghfsHandle h, const SghfsFindData& d) {
    return h == SGHFS_INVALID_HANDLE ? std::string("none") : std::string(d.cFileName);
  };
  PluginBinding::unload();
  ASSERT_TRUE(PluginBinding::load("sghfs.wfx"));

  EXPECT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").body, "SGH-D500");
  SghfsFindData d{};
  const SghfsHandle onCable = PluginBinding::findFirst("/java", d);
  EXPECT_EQ(firstName(onCable, d), "a_suite.jad");
  const std::size_t heard = cablePhone.commands().size();

  testsupport::writeFile(dir / "phones/COM3/phone.ini", "Manufacturer=SAMSUNG\r\nModel=SGH-E700\r\n");
  logs.clear();
  EXPECT_EQ(connect(), PluginBinding::ConnectResult::Connected);
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs[0], testsupport::cp1251("Соединение с телефоном закрыто"));
  EXPECT_FALSE(testsupport::exists(dir / lockFileName(cablePhone.device())));
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").body, "SGH-E700");
  EXPECT_FALSE(PluginBinding::findNext(onCable, d));  // the cable's listing went with it
  EXPECT_EQ(firstName(PluginBinding::findFirst("/", d), d), "java");
  EXPECT_EQ(cablePhone.commands().size(), heard);

  PluginBinding::disconnect();
  EXPECT_EQ(PluginBinding::sendCommand("AT+CGMM").status, "ERROR");
  EXPECT_EQ(firstName(PluginBinding::findFirst("/", d), d), "none");
  EXPECT_EQ(cablePhone.commands().size(), heard);

  PluginBinding::unload();
  ::unsetenv("SGHFS_PHONES");
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("SGHFS_LOCK_DIR");
}

}  // namespace
