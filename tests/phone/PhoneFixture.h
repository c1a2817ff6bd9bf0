#pragma once
// The real main window on a temporary working folder with a virtual phone on COM1.
#include <gtest/gtest.h>

#include <QComboBox>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "catalogue/CatalogueBrowser.h"
#include "net/CatalogueUpdate.h"
#include "net/Downloads.h"
#include "phone/PluginBinding.h"
#include "settings/Settings.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using testsupport::widget;

class PhoneWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SGHFS_PHONES", (dir / "phones").c_str(), 1);
    writePhoneIni("Manufacturer=SAMSUNG\r\nModel=SGH-X100Z\r\nSerial=350123456789012\r\n");
    testsupport::writeFile(phone("java/.keep"), "");
    std::remove(phone("java/.keep").c_str());
    form = createApplicationWindows(&prompter);
    form->settings().setComPort("COM1");
    form->settings().setComSpeed(115200);
    prompter.clear();
  }
  void TearDown() override {
    form.reset();
    ::unsetenv("SGHFS_PHONES");
  }

  std::string phone(const std::string& relative) const { return dir / ("phones/COM1/" + relative); }
  void writePhoneIni(const std::string& text) { testsupport::writeFile(phone("phone.ini"), text); }

  // Log lines, newest first, without their time of day.
  QStringList log() const { return testsupport::logLines<QStringList>(*form); }
  QString editText() const {
    const QString line = widget<QComboBox>(*form, "messageLog")->currentText();
    return line.mid(line.indexOf(QLatin1Char(' ')));
  }

  testsupport::TempWorkDir dir;
  testsupport::ScriptedPrompter prompter;
  std::unique_ptr<MainWindow> form;
};
