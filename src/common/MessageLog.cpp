#include "common/MessageLog.h"

#include <QLocale>
#include <QTime>

namespace quorrel {

QString MessageLog::timeText() {
  QString format = QLocale::system().timeFormat(QLocale::LongFormat);
  format.remove(QLatin1Char('t'));
  return QLocale::system().toString(QTime::currentTime(), format.trimmed());
}

}  // namespace quorrel
