#pragma once
// The program's command line: `Quorrel [game.jar | game.jad | folder]...`, `--help`, `--version`. Files and
// folders named there are added to "Мои игры" once the window is up.
#include <QString>
#include <QStringList>

namespace quorrel {

struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  QStringList paths;  // games and folders to add, as given
  QString text;       // what Help, Version and Error print
};

// `arguments` without the program's name. "--" ends the options: everything after it is a path.
// `beforeToolkit`: the toolkit has not yet taken its own options ("-platform offscreen", "-style ..."), so
// unknown options with one dash are passed over here; the toolkit's arguments are read strictly afterwards.
CommandLine parseCommandLine(const QStringList& arguments, bool beforeToolkit = false);

}  // namespace quorrel
