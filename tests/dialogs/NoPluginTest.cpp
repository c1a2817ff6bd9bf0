// The about box when the phone plugin could not be loaded at start-up. This test program runs from a folder
// of its own, where no sghfs.wfx lies, so the main window's start-up finds no plugin.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "ModalWindow.h"
#include "app/MainWindow.h"
#include "dialogs/AboutDialog.h"
#include "phone/PluginBinding.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

TEST(AboutBoxWithoutPlugin, PluginVersionLabelIsEmpty) {
  testsupport::TempWorkDir dir;
  testsupport::ScriptedPrompter prompter;
  MainWindow form(&prompter);
  EXPECT_TRUE(PluginBinding::pluginVersion.empty());
  QString shown = QStringLiteral("not looked at");
  auto r = testsupport::runModal([&] { form.showAbout(); },
                                 [&](QWidget* w) { shown = static_cast<AboutDialog*>(w)->pluginVersionLabel->text(); },
                                 [](QWidget* w) { static_cast<AboutDialog*>(w)->okButton->click(); });
  ASSERT_TRUE(r.shown);
  EXPECT_TRUE(shown.isEmpty());
}
