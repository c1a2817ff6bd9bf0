#pragma once
// Forms here are laid out at fixed positions, as they were designed: each widget gets its name (the object
// name the tests and style sheets find it by) and its rectangle in its parent.
#include <QLatin1String>
#include <QWidget>

namespace quorrel {

template <typename W>
W* place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QLatin1String(name));
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace quorrel
