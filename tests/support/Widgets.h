#pragma once
// How tests reach the controls of a real window: by objectName, as a user's tools would, never through the
// window's members.
#include <QComboBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace testsupport {

// The one object named `name` among `candidates` (all of one type, found below `root`); a control inside a
// dialog below `root` counts only when nothing else has the name. Fails the test, naming what is missing or
// ambiguous, when there is not exactly one.
QObject* namedChild(const QObject& root, const char* name, const char* typeName, const QList<QObject*>& candidates);

// The control of type W named `name` below `root`.
template <class W>
W* widget(const QObject& root, const char* name) {
  const QList<W*> found = root.findChildren<W*>(QLatin1String(name));
  return static_cast<W*>(
      namedChild(root, name, W::staticMetaObject.className(), QList<QObject*>(found.begin(), found.end())));
}

// The lines of the window's message log ("messageLog"), newest first, without their time of day.
template <class Lines = std::vector<QString>>
Lines logLines(const QObject& window) {
  const QComboBox* log = widget<QComboBox>(window, "messageLog");
  Lines lines;
  for (int i = 0; i < log->count(); ++i) {
    const QString line = log->itemText(i);
    lines.push_back(line.mid(line.indexOf(QLatin1Char(' '))));
  }
  return lines;
}

}  // namespace testsupport
