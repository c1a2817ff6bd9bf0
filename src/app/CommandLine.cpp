#include "app/CommandLine.h"

namespace quorrel {

namespace {

QString usage() {
  return QStringLiteral(
      "Использование: quorrel [ФАЙЛ.jar | ФАЙЛ.jad | ПАПКА]...\n"
      "Каталог игр Java для телефонов Samsung SGH.\n"
      "\n"
      "Названные игры (.jar, .jad) и папки с играми добавляются в «Мои игры» после запуска,\n"
      "так же как командой «Игры → Добавить игры...».\n"
      "\n"
      "  --help       показать эту справку и выйти\n"
      "  --version    показать версию программы и выйти\n");
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments, bool beforeToolkit) {
  CommandLine line;
  bool options = true;
  for (const QString& a : arguments) {
    if (options && a == QLatin1String("--")) {
      options = false;
    } else if (options && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
      return CommandLine{CommandLine::Action::Help, {}, usage()};
    } else if (options && a == QLatin1String("--version")) {
      return CommandLine{CommandLine::Action::Version, {}, QStringLiteral("Quorrel " QUORREL_VERSION "\n")};
    } else if (options && beforeToolkit && a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--"))) {
      continue;
    } else if (options && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
      return CommandLine{CommandLine::Action::Error,
                         {},
                         QStringLiteral("quorrel: неизвестный параметр «%1»\nСправка: quorrel --help\n").arg(a)};
    } else {
      line.paths << a;
    }
  }
  return line;
}

}  // namespace quorrel
