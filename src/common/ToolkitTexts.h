#pragma once
// The toolkit's own texts (the file dialog, the context menus of text fields, standard buttons) in Russian,
// like the rest of the window, from the translations the system has installed for Qt.
#include <QString>

class QTranslator;

namespace quorrel {

// Installs Qt's Russian translations into the application and returns them (owned by the application
// object); null, and nothing changes, when the system has none. The program's own texts are written as they
// are shown and never pass through a translator.
QTranslator* installToolkitTexts();
// The folder searched, for messages.
QString toolkitTextsFolder();

}  // namespace quorrel
