// Connecting and disconnecting on the real main window, with the virtual phone and with odd plugins.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QToolButton>

#include "OddPluginControl.h"
#include "PhoneFixture.h"
#include "support/Widgets.h"

using testsupport::widget;

namespace {

const QString NotConnected = QStringLiteral("Соединение не установлено");

QStringList items(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

bool showsPicture(const QToolButton* button, const QLabel* image) {
  return button->icon().pixmap(32, 32).toImage() == image->pixmap().toImage();
}

}  // namespace

using PhoneConnect = PhoneWindow;

TEST_F(PhoneConnect, ConnectShowsThePhoneAndSwitchesToTheConnectedLook) {
  testsupport::writeFile(phone("java/game_suite.jar"), std::string(1234, 'j'));
  testsupport::writeFile(phone("java/saved/x"), "");
  form->catalogue().setCurrentGameScreen("ball.gif");
  widget<QToolButton>(*form, "connectionButton")->click();

  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение установлено"));
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Maker),
            QStringLiteral("SAMSUNG"));
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Model),
            QStringLiteral("SGH-X100Z"));
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::SerialNumber),
            QStringLiteral("350123456789012"));
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::PluginMessage),
            QString());  // the connect's own log line is cleared
  EXPECT_FALSE(widget<QAction>(*form, "connectAction")->isEnabled());
  EXPECT_TRUE(widget<QAction>(*form, "disconnectAction")->isEnabled());
  EXPECT_EQ(widget<QToolButton>(*form, "connectionButton")->toolTip(), QStringLiteral("Отключиться от телефона"));
  EXPECT_TRUE(showsPicture(widget<QToolButton>(*form, "connectionButton"), widget<QLabel>(*form, "disconnectPicture")));
  EXPECT_FALSE(widget<QToolButton>(*form, "uploadGameButton")->isHidden());
  EXPECT_EQ(items(widget<QListWidget>(*form, "phoneList")),
            (QStringList{QStringLiteral("game_suite.jar (1234 bytes)"), QStringLiteral("saved (<DIR>)")}));
  // The model is cut to its first 8 characters.
  EXPECT_EQ(log(), QStringList{QStringLiteral(" Установлено соединение с телефоном SGH-X100.")});
  EXPECT_EQ(editText(), log()[0]);
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(PhoneConnect, ShortOrEmptyModelIsShownWhole) {
  writePhoneIni("Manufacturer=SAMSUNG\r\nModel=E700\r\n");
  form->phone().connectPhone();
  EXPECT_EQ(log().value(0), QStringLiteral(" Установлено соединение с телефоном E700."));
  EXPECT_TRUE(widget<QToolButton>(*form, "uploadGameButton")->isHidden());  // no game on display
  form->phone().disconnectPhone();
  writePhoneIni("Manufacturer=SAMSUNG\r\n");
  form->phone().connectPhone();
  EXPECT_EQ(log().value(0), QStringLiteral(" Установлено соединение с телефоном ."));
}

TEST_F(PhoneConnect, DisconnectRestoresTheLookAndKeepsTheLastPluginLine) {
  form->catalogue().setCurrentGameScreen("ball.gif");
  widget<QToolButton>(*form, "connectionButton")->click();
  form->addLine(QStringLiteral("previous"));
  widget<QToolButton>(*form, "connectionButton")->click();

  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection), NotConnected);
  for (const quorrel::StatusPanel panel : quorrel::PhonePanels)
    EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(panel), QString()) << static_cast<int>(panel);
  // The plugin's goodbye is its last line, and it stays.
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::PluginMessage),
            QStringLiteral("Соединение с телефоном закрыто"));
  EXPECT_TRUE(widget<QAction>(*form, "connectAction")->isEnabled());
  EXPECT_FALSE(widget<QAction>(*form, "disconnectAction")->isEnabled());
  EXPECT_TRUE(widget<QToolButton>(*form, "uploadGameButton")->isHidden());
  EXPECT_EQ(widget<QToolButton>(*form, "connectionButton")->toolTip(), QStringLiteral("Соединиться с телефоном"));
  EXPECT_TRUE(showsPicture(widget<QToolButton>(*form, "connectionButton"), widget<QLabel>(*form, "connectPicture")));
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 0);
  EXPECT_EQ(log().value(0), QStringLiteral(" Соединение с телефоном разорвано."));
  EXPECT_EQ(widget<QComboBox>(*form, "messageLog")->currentText(), QStringLiteral("previous"));  // the edit text stays
  EXPECT_FALSE(PluginBinding::isConnected());
  EXPECT_NE(testsupport::readFile(phone("operations.log")).find("disconnect\r\n"), std::string::npos);
}

TEST_F(PhoneConnect, FailedConnectChangesNothingButPanelAndLogAndMayBeRetried) {
  form->settings().setComPort("COM2");  // no phone there
  widget<QToolButton>(*form, "connectionButton")->click();
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection), NotConnected);
  EXPECT_EQ(log(), QStringList{QStringLiteral(" Не удалось установить соединение с телефоном.")});
  EXPECT_TRUE(widget<QAction>(*form, "connectAction")->isEnabled());
  EXPECT_FALSE(widget<QAction>(*form, "disconnectAction")->isEnabled());
  EXPECT_EQ(widget<QToolButton>(*form, "connectionButton")->toolTip(), QStringLiteral("Соединиться с телефоном"));

  form->settings().setComPort("COM1");
  widget<QToolButton>(*form, "connectionButton")->click();  // the toggle connects again after a failure
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection),
            QStringLiteral("Соединение установлено"));
}

TEST_F(PhoneConnect, UnknownPortNameIsRefusedWithoutAskingThePlugin) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  for (const char* port : {"com1", "COM17", "COM0", "COM01", "", "LPT1"}) {
    widget<QComboBox>(*form, "messageLog")->clear();
    odd.clearTrace();
    form->settings().setComPort(port);
    form->phone().connectPhone();
    EXPECT_EQ(odd.trace(), "") << port;
    EXPECT_EQ(log(), QStringList{QStringLiteral(" Не удалось установить соединение с телефоном.")}) << port;
  }
  form->settings().setComPort("COM16");
  form->phone().connectPhone();
  EXPECT_TRUE(odd.called("FsSetup 0 0 16 115200 "));
}

TEST_F(PhoneConnect, ConnectResultWithAZeroLowByteIsAFailure) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("connect", "0x100");
  form->phone().connectPhone();
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Connection), NotConnected);
  EXPECT_EQ(log().value(0), QStringLiteral(" Не удалось установить соединение с телефоном."));
  EXPECT_FALSE(odd.called("FsSendCommand"));
}

TEST_F(PhoneConnect, EmptyListingCallsNeitherNextNorCloseAndEntriesKeepTheirOrder) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("reply", "SAMSUNG\r\n\r\nOK\r\n");
  form->phone().connectPhone();
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Maker),
            QStringLiteral("SAMSUNG"));
  EXPECT_TRUE(odd.called("FsFindFirst /java/\n"));
  EXPECT_FALSE(odd.called("FsFindNext"));
  EXPECT_FALSE(odd.called("FsFindClose"));
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 0);

  form->phone().disconnectPhone();
  odd.set("find", "zz.jar:4294967295|aa:<DIR>|big.jar:4294967296");
  form->phone().connectPhone();
  EXPECT_EQ(items(widget<QListWidget>(*form, "phoneList")),
            (QStringList{QStringLiteral("zz.jar (4294967295 bytes)"), QStringLiteral("aa (<DIR>)"),
                         QStringLiteral("big.jar (0 bytes)")}));
  EXPECT_TRUE(odd.called("FsFindClose 7\n"));
}

TEST_F(PhoneConnect, PluginLogAndProgressReachTheWindow) {
  form->phone().connectPhone();
  form->showPluginProgress(40, QStringLiteral("/java/игра_suite.jar"));
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->value(), 40);
  EXPECT_EQ(widget<QLabel>(*form, "transferLabel")->text(), QStringLiteral("/java/игра_suite.jar"));
  // Drawn against the bar's present range, whatever it is.
  widget<QProgressBar>(*form, "progressBar")->setMaximum(30);
  form->showPluginProgress(40, QStringLiteral("t"));
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->value(), 30);
  EXPECT_EQ(widget<QProgressBar>(*form, "progressBar")->maximum(), 30);

  testsupport::writeFile("a.jad", "x");
  std::string remote = "/java/a_suite.jad";
  PluginBinding::putFile(dir / "a.jad", remote, true);
  EXPECT_TRUE(widget<StatusPanels>(*form, "statusPanels")
                  ->panelText(quorrel::StatusPanel::PluginMessage)
                  .contains(QStringLiteral("/java/a_suite.jad")));
  EXPECT_EQ(widget<QLabel>(*form, "transferLabel")->text(), QStringLiteral("/java/a_suite.jad"));
}

TEST_F(PhoneConnect, ExitWhileConnectedDisconnects) {
  form->phone().connectPhone();
  form->exitProgram();
  EXPECT_FALSE(PluginBinding::isConnected());
  EXPECT_FALSE(PluginBinding::isLoaded());
  const std::string ops = testsupport::readFile(phone("operations.log"));
  EXPECT_EQ(ops.substr(ops.size() - 12), "disconnect\r\n");
}

TEST_F(PhoneConnect, ListingThatNeverEndsStopsAfterAHundredThousandEntries) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("find", "same.jar:1");
  odd.set("endless_find", "1");
  form->phone().connectPhone();
  EXPECT_EQ(widget<QListWidget>(*form, "phoneList")->count(), 100000);
  EXPECT_TRUE(odd.called("FsFindClose 7\n"));
  EXPECT_EQ(log(),
            (QStringList{QStringLiteral(" Установлено соединение с телефоном VALUE."),
                         QStringLiteral(" В папке /java/ телефона больше 100000 записей: показаны первые 100000.")}));
}

TEST_F(PhoneConnect, TextsFromThePhoneAreShownBoundedOnOneLineAndAsTheyStand) {
  OddPluginControl odd(ODD_FULL);
  ASSERT_TRUE(PluginBinding::load(odd.path()));
  odd.set("reply", "<b>SAM\x1b[2JSUNG</b>\r\n\r\nOK\r\n");
  odd.set("find", "a\nb.jar:1|<i>c</i>:<DIR>");
  form->phone().connectPhone();
  form->showPluginProgress(42, QStringLiteral("/java/x\r\ny_suite.jar"));
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(quorrel::StatusPanel::Maker),
            QStringLiteral("<b>SAM\uFFFD[2JSUNG</b>"));
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panel(quorrel::StatusPanel::Maker)->textFormat(),
            Qt::PlainText);
  EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panel(quorrel::StatusPanel::Maker)->toolTip(),
            QStringLiteral("<p>&lt;b&gt;SAM\uFFFD[2JSUNG&lt;/b&gt;</p>"));
  EXPECT_EQ(items(widget<QListWidget>(*form, "phoneList")),
            (QStringList{QStringLiteral("a\uFFFDb.jar (1 bytes)"), QStringLiteral("<i>c</i> (<DIR>)")}));
  EXPECT_EQ(widget<QLabel>(*form, "transferLabel")->text(), QStringLiteral("/java/x\uFFFD\uFFFDy_suite.jar"));
  EXPECT_EQ(widget<QLabel>(*form, "transferLabel")->textFormat(), Qt::PlainText);

  // A reply as long as the plugin's buffer holds.
  form->phone().disconnectPhone();
  odd.set("reply", std::string(60000, 'm') + "\r\n\r\nOK\r\n");
  form->phone().connectPhone();
  for (const quorrel::StatusPanel panel : quorrel::PhonePanels)
    EXPECT_EQ(widget<StatusPanels>(*form, "statusPanels")->panelText(panel).size(), 1000) << static_cast<int>(panel);
}
