// The about box when the phone plugin could not be loaded at start-up. This test program runs from a folder
// of its own, where no sghfs.wfx lies, so the main window's start-up finds no plugin.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "ModalWindow.h"
#include "app/MainUnit.h"
#include "dialogs/AboutUnit.h"
#include "phone/SGHFS.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

TEST(AboutBoxWithoutPlugin, PluginVersionLabelIsEmpty) {
  testsupport::TempWorkDir dir;
  testsupport::ScriptedPrompter prompter;
  TMainForm form(&prompter);
  EXPECT_TRUE(SGHFS::PluginVersion.empty());
  QString shown = QStringLiteral("not looked at");
  auto r = testsupport::runModal([&] { form.N3Click(); },
                                 [&](QWidget* w) { shown = static_cast<TAboutForm*>(w)->Label3->text(); },
                                 [](QWidget* w) { static_cast<TAboutForm*>(w)->Button1->click(); });
  ASSERT_TRUE(r.shown);
  EXPECT_TRUE(shown.isEmpty());
}
