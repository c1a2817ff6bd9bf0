#include "support/Widgets.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <stdexcept>
#include <string>

namespace testsupport {

namespace {

// Whether `object` sits inside a dialog of its own below `root` (the settings dialog below the main window).
bool insideDialogBelow(const QObject& root, const QObject* object) {
  for (const QObject* p = object->parent(); p && p != &root; p = p->parent()) {
    if (qobject_cast<const QDialog*>(p)) return true;
  }
  return false;
}

}  // namespace

QObject* namedChild(const QObject& root, const char* name, const char* typeName, const QList<QObject*>& candidates) {
  QList<QObject*> own;
  for (QObject* c : candidates) {
    if (!insideDialogBelow(root, c)) own << c;
  }
  if (own.isEmpty() && candidates.size() == 1) own = candidates;
  if (own.size() == 1) return own.front();
  const std::string what = std::string(typeName) + " named \"" + name + "\" below " + root.metaObject()->className() +
                           " \"" + root.objectName().toStdString() + "\"";
  const std::string problem = own.isEmpty() ? "no " + what : std::to_string(own.size()) + " controls: " + what;
  ADD_FAILURE() << problem;
  throw std::runtime_error(problem);
}

}  // namespace testsupport
