// Program entry of Quorrel.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
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

// Prints what --help, --version or a wrong option asks for; the program's exit code.
int finish(const quorrel::CommandLine& line) {
  const bool error = line.action == quorrel::CommandLine::Action::Error;
  const QByteArray text = line.text.toLocal8Bit();
  std::fputs(text.constData(), error ? stderr : stdout);
  return error ? 2 : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The command line is read before anything needs a display, so --help and --version work anywhere.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (const auto early = quorrel::parseCommandLine(arguments, true);
      early.action != quorrel::CommandLine::Action::Run) {
    return finish(early);
  }
  if (!haveDisplay()) {
    std::fprintf(stderr,
                 "Quorrel needs a graphical display, and none was found (DISPLAY is not set).\n"
                 "Start it from a desktop session, or under a virtual display:\n"
                 "    xvfb-run -a %s\n",
                 argc > 0 ? argv[0] : "Quorrel");
    return 2;
  }
  QApplication app(argc, argv);
  // What is left once the toolkit has taken its own options.
  const quorrel::CommandLine line = quorrel::parseCommandLine(QApplication::arguments().mid(1));
  if (line.action != quorrel::CommandLine::Action::Run) return finish(line);
  QApplication::setApplicationName(QStringLiteral("Quorrel"));
  quorrel::chooseIconTheme();
  quorrel::chooseFontSubstitutes();
  quorrel::installToolkitTexts();
  quorrel::QtPrompter prompter;
  // Games named on the command line are added once the window is up, as if chosen in its menu.
  return runProgram(&prompter, [&line](MainWindow& window) {
    if (line.paths.isEmpty()) return;
    QTimer::singleShot(0, &window, [&window, &line] { window.guarded([&] { window.addGames(line.paths); }); });
  });
}
