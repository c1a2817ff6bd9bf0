#pragma once
// A test with the real main window in a working folder of its own. In the child run of a drill the folder
// is the one the parent prepared (the current directory), so the window starts on the parent's files.
#include <gtest/gtest.h>

#include <QComboBox>
#include <memory>
#include <optional>

#include "DrillSupport.h"
#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/Paths.h"
#include "net/CatalogueUpdate.h"
#include "net/Downloads.h"
#include "settings/Settings.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

using testsupport::widget;

class DrillWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!drills::inChild()) dir.emplace();
    folder = quorrel::currentDir();
  }

  // Builds the window on what the folder holds now; the boxes of its start are kept in startErrors.
  void startWindow() {
    form = createApplicationWindows(&prompter);
    startErrors = prompter.errors();
    prompter.clear();
    widget<QComboBox>(*form, "messageLog")->clear();
  }

  // Log lines, newest first, without their time of day.
  std::vector<QString> log() const { return testsupport::logLines(*form); }

  bool logHas(const QString& text) const {
    for (const QString& line : log()) {
      if (line.contains(text)) return true;
    }
    return false;
  }

  std::optional<testsupport::TempWorkDir> dir;
  std::string folder;  // the working folder, with a trailing "/"
  testsupport::ScriptedPrompter prompter;
  std::vector<QString> startErrors;
  std::unique_ptr<MainWindow> form;
};

inline const QString& downloadFailed() {
  static const QString text = QStringLiteral(" Произошла ошибка при скачивании файла ");
  return text;
}
