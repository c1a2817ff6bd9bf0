#include "common/Ansi.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace quorrel {

QString fromAnsi(const std::string& bytes) {
  QStringDecoder decoder("windows-1251");
  return decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string toAnsi(const QString& text) {
  QStringEncoder encoder("windows-1251", QStringConverter::Flag::Default);
  const QByteArray out = encoder(text);
  return std::string(out.constData(), static_cast<size_t>(out.size()));
}

std::string ansi(const char* utf8) { return toAnsi(QString::fromUtf8(utf8)); }

std::string oemToAnsi(const std::string& bytes) {
  QStringDecoder decoder("IBM866");
  return toAnsi(decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

}  // namespace quorrel
