#include "common/ToolkitTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quorrel {

QString toolkitTextsFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

QTranslator* installToolkitTexts() {
  // Owned by the application object, which outlives every window.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                        toolkitTextsFolder())) {
    delete translator;
    return nullptr;
  }
  QCoreApplication::installTranslator(translator);
  return translator;
}

}  // namespace quorrel
