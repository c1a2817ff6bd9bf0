// quorrel-catalogue: the catalogue host's tool. "build" makes an update server's tree from a folder of games,
// "check" tells what a phone would refuse in each suite and, with --fix, writes mended descriptors.
#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "suites/GameFolder.h"
#include "suites/ServerTree.h"

namespace {

using namespace quorrel::suites;

constexpr int Done = 0;        // the work is done, nothing to report
constexpr int Problems = 1;    // done, but suites have problems (check) or were left out (build)
constexpr int Usage = 2;       // the command line cannot be understood
constexpr int Failed = 3;      // the work could not be done (a folder that cannot be read or written)

const char* const HelpText =
    "Использование:\n"
    "  quorrel-catalogue build ИГРЫ ДЕРЕВО [параметры]\n"
    "      Делает из папки игр дерево сервера обновлений для Quorrel: Javadata.zip, Base/games, Base/screen,\n"
    "      Base/dir и Base/news.new. Игры из вложенных папок попадают в папки каталога; картинка рядом с игрой\n"
    "      (то же имя, .gif, .png или .jpg) становится её скриншотом, иначе значок игры. Папка игр не меняется.\n"
    "      --model ИМЯ        модель телефона, корень каталога (по умолчанию «Samsung SGH»)\n"
    "      --description ТЕКСТ  описание корня каталога\n"
    "      --height 128|160   высота экрана, под которую делаются картинки (по умолчанию 128)\n"
    "      --version ВЕРСИЯ   версия каталога (по умолчанию сегодняшняя дата)\n"
    "      --news ФАЙЛ        текст новостей, UTF-8 (по умолчанию строка о каталоге)\n"
    "  quorrel-catalogue check ИГРЫ [--fix]\n"
    "      Проверяет каждую игру так, как её проверит телефон перед установкой, и называет каждую ошибку.\n"
    "      --fix  записывает исправленные описатели .jad (старый остаётся рядом как .jad.bak) и описатели\n"
    "             для архивов .jar без них\n"
    "  quorrel-catalogue --help | --version\n"
    "Коды выхода: 0 — всё в порядке; 1 — есть игры с ошибками (check) или не вошедшие в каталог (build);\n"
    "2 — неверная командная строка; 3 — работа не сделана (папку нельзя прочесть или записать).\n";

// A progress line on a terminal, redrawn in place; nothing when the output goes elsewhere.
void progress(std::size_t done, std::size_t total) {
  if (!::isatty(STDERR_FILENO)) return;
  std::fprintf(stderr, "\rИгр прочитано: %zu из %zu", done, total);
  if (done == total) std::fputc('\n', stderr);
  std::fflush(stderr);
}

int usage(const std::string& why) {
  std::fprintf(stderr, "quorrel-catalogue: %s\nПодробнее: quorrel-catalogue --help\n", why.c_str());
  return Usage;
}

bool readText(const std::string& path, std::string& text) {
  return readWholeFile(path, 1024 * 1024, text);
}

int build(const std::vector<std::string>& args) {
  std::vector<std::string> places;
  BuildOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& to) {
      if (i + 1 >= args.size()) return false;
      to = args[++i];
      return true;
    };
    std::string v;
    if (a == "--model") {
      if (!value(options.model) || options.model.empty()) return usage("после --model нужно имя модели");
    } else if (a == "--description") {
      if (!value(options.modelDesc)) return usage("после --description нужен текст");
    } else if (a == "--height") {
      if (!value(v) || (v != "128" && v != "160")) return usage("--height: 128 или 160");
      options.pictureHeight = std::stoi(v);
    } else if (a == "--version") {
      if (!value(options.version)) return usage("после --version нужна версия");
    } else if (a == "--news") {
      if (!value(v)) return usage("после --news нужен файл");
      if (!readText(v, options.news)) {
        std::fprintf(stderr, "quorrel-catalogue: файл новостей %s не читается (или больше 1 МБ)\n", v.c_str());
        return Failed;
      }
    } else if (a.rfind("--", 0) == 0) {
      return usage("неизвестный параметр " + a);
    } else {
      places.push_back(a);
    }
  }
  if (places.size() != 2) return usage("build: нужны папка игр и папка дерева");
  options.progress = progress;
  const BuildReport report = buildServerTree(places[0], places[1], options);
  for (const std::string& n : report.notes) std::printf("Замечание: %s\n", n.c_str());
  for (const std::string& l : report.leftOut) std::printf("Не вошла: %s\n", l.c_str());
  std::printf("Дерево %s готово: игр в каталоге — %zu, не вошло — %zu.\n", places[1].c_str(), report.games,
              report.leftOut.size());
  return report.leftOut.empty() ? Done : Problems;
}

// Writes the mended descriptor; the old one stays beside it as .jad.bak (or .jad.bak2, ... when that is taken).
void writeFixed(const FoundSuite& s) {
  namespace fs = std::filesystem;
  const fs::path jad = s.jadPath.empty() ? fs::path(s.jarPath).replace_extension(".jad") : fs::path(s.jadPath);
  const fs::path part = jad.string() + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    const std::string text = writeDescriptor(s.fixed);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw quorrel::QuorrelError("Не могу записать " + part.string() + ".");
  }
  std::error_code ec;
  if (fs::exists(jad, ec)) {
    fs::path keep = jad.string() + ".bak";
    for (int n = 2; fs::exists(keep, ec); ++n) keep = jad.string() + ".bak" + std::to_string(n);
    fs::rename(jad, keep, ec);
    if (ec) throw quorrel::QuorrelError("Не могу сохранить старый описатель " + jad.string() + ": " + ec.message() + ".");
  }
  fs::rename(part, jad, ec);
  if (ec) throw quorrel::QuorrelError("Не могу записать " + jad.string() + ": " + ec.message() + ".");
}

int check(const std::vector<std::string>& args) {
  bool fix = false;
  std::vector<std::string> places;
  for (const std::string& a : args) {
    if (a == "--fix") fix = true;
    else if (a.rfind("--", 0) == 0) return usage("неизвестный параметр " + a);
    else places.push_back(a);
  }
  if (places.size() != 1) return usage("check: нужна одна папка игр");
  const GameFolder folder = scanGameFolder(places[0], progress);
  std::size_t bad = folder.strays.size(), fixed = 0;
  for (const std::string& s : folder.strays) std::printf("%s\n", s.c_str());
  for (const FoundSuite& s : folder.suites) {
    const bool needsDescriptor = s.jadPath.empty() && s.jar.error.empty();
    if (s.problems.empty() && !(fix && needsDescriptor)) continue;
    std::printf("%s:\n", s.jarPath.c_str());
    if (s.problems.empty() && needsDescriptor) std::printf("  Описателя нет; он будет сделан из манифеста.\n");
    for (const std::string& p : s.problems) std::printf("  %s\n", p.c_str());
    if (!s.problems.empty()) ++bad;
    if (!fix) continue;
    if (!s.left.empty()) {
      std::printf("  Не исправлено: это нужно исправить в самом архиве.\n");
      continue;
    }
    writeFixed(s);
    if (!s.problems.empty()) ++fixed;
    std::printf("  Исправлено: записан %s.\n",
                (s.jadPath.empty() ? std::filesystem::path(s.jarPath).replace_extension(".jad").string() : s.jadPath)
                    .c_str());
  }
  std::printf("Игр проверено: %zu, с ошибками: %zu%s.\n", folder.suites.size(), bad,
              fix ? (", исправлено: " + std::to_string(fixed)).c_str() : "");
  return bad == 0 || (fix && bad == fixed) ? Done : Problems;
}

}  // namespace

int main(int argc, char** argv) {
  // QtGui's picture readers need an application object of the core kind; no display is ever opened.
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage("нужна команда build или check");
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(HelpText, stdout);
    return Done;
  }
  if (args[0] == "--version") {
    std::printf("quorrel-catalogue %s\n", QUORREL_VERSION);
    return Done;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (args[0] == "build") return build(rest);
    if (args[0] == "check") return check(rest);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorrel-catalogue: %s\n", e.what());
    return Failed;
  }
  return usage("неизвестная команда " + args[0]);
}
