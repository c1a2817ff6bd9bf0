// Program entry of Quorrel.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/MainWindow.h"
#include "common/Icons.h"
#include "common/QtPrompter.h"
#include "common/ToolkitTexts.h"

namespace {

// Without a display the toolkit would abort with a cryptic message; say plainly what to do instead.
bool haveDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) return true;
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!haveDisplay()) {
    std::fprintf(stderr,
                 "Quorrel needs a graphical display, and none was found (DISPLAY is not set).\n"
                 "Start it from a desktop session, or under a virtual display:\n"
                 "    xvfb-run -a %s\n",
                 argc > 0 ? argv[0] : "Quorrel");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorrel"));
  quorrel::chooseIconTheme();
  quorrel::chooseFontSubstitutes();
  quorrel::installToolkitTexts();
  quorrel::QtPrompter prompter;
  auto mainForm = createApplicationWindows(&prompter);
  mainForm->show();
  return QApplication::exec();
}
