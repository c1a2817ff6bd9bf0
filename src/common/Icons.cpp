#include "common/Icons.h"

#include <QDir>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quorrel {

namespace {

struct GlyphInfo {
  const char* themeName;
  QColor colour;
};

GlyphInfo info(Glyph g) {
  switch (g) {
    case Glyph::Connect:
      return {"network-wired", QColor(0x2e, 0x7d, 0x32)};
    case Glyph::Disconnect:
      return {"network-offline", QColor(0xc6, 0x28, 0x28)};
    case Glyph::Settings:
      return {"preferences-system", QColor(0x54, 0x6e, 0x7a)};
    case Glyph::Update:
      return {"view-refresh", QColor(0x15, 0x65, 0xc0)};
    case Glyph::Compile:
      return {"system-run", QColor(0x6a, 0x1b, 0x9a)};
    case Glyph::UploadMarked:
      return {"document-send", QColor(0xef, 0x6c, 0x00)};
    case Glyph::Exit:
      return {"application-exit", QColor(0x8e, 0x24, 0x24)};
    case Glyph::UploadGame:
      return {"go-up", QColor(0xef, 0x6c, 0x00)};
    case Glyph::Screenshot:
      return {"image-x-generic", QColor(0x00, 0x83, 0x8f)};
    case Glyph::DownloadGame:
      return {"document-save", QColor(0x15, 0x65, 0xc0)};
    case Glyph::ArrowUp:
      return {"go-up", QColor(0x42, 0x42, 0x42)};
    case Glyph::ArrowDown:
      return {"go-down", QColor(0x42, 0x42, 0x42)};
  }
  return {"", Qt::gray};
}

// A simple drawing of the glyph on a 32 x 32 canvas.
QPixmap drawGlyph(Glyph g) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor c = info(g).colour;
  p.setPen(QPen(c.darker(140), 2));
  p.setBrush(c);
  auto arrow = [&](bool up) {
    QPainterPath path;
    if (up) {
      path.moveTo(16, 4);
      path.lineTo(28, 16);
      path.lineTo(20, 16);
      path.lineTo(20, 28);
      path.lineTo(12, 28);
      path.lineTo(12, 16);
      path.lineTo(4, 16);
    } else {
      path.moveTo(16, 28);
      path.lineTo(28, 16);
      path.lineTo(20, 16);
      path.lineTo(20, 4);
      path.lineTo(12, 4);
      path.lineTo(12, 16);
      path.lineTo(4, 16);
    }
    path.closeSubpath();
    p.drawPath(path);
  };
  switch (g) {
    case Glyph::Connect:
    case Glyph::Disconnect:
      p.drawRoundedRect(9, 3, 14, 26, 3, 3);  // a phone
      p.setBrush(Qt::white);
      p.drawRect(12, 7, 8, 10);
      if (g == Glyph::Disconnect) {
        p.setPen(QPen(Qt::black, 3));
        p.drawLine(4, 4, 28, 28);
      }
      break;
    case Glyph::Settings:
      p.drawEllipse(6, 6, 20, 20);
      p.setBrush(Qt::white);
      p.drawEllipse(12, 12, 8, 8);
      break;
    case Glyph::Update:
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(c, 4));
      p.drawArc(6, 6, 20, 20, 30 * 16, 280 * 16);
      break;
    case Glyph::Compile:
      p.drawRect(5, 5, 22, 6);
      p.drawRect(5, 13, 22, 6);
      p.drawRect(5, 21, 22, 6);
      break;
    case Glyph::UploadMarked:
      p.drawRect(4, 20, 24, 8);
      arrow(true);
      break;
    case Glyph::Exit:
      p.setPen(QPen(c, 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(8, 8, 24, 24);
      p.drawLine(24, 8, 8, 24);
      break;
    case Glyph::UploadGame:
    case Glyph::ArrowUp:
      arrow(true);
      break;
    case Glyph::DownloadGame:
    case Glyph::ArrowDown:
      arrow(false);
      break;
    case Glyph::Screenshot:
      p.drawRoundedRect(4, 8, 24, 18, 3, 3);
      p.setBrush(Qt::white);
      p.drawEllipse(11, 11, 10, 10);
      break;
  }
  return pm;
}

}  // namespace

QIcon glyphIcon(Glyph glyph) {
  const QIcon themed = QIcon::fromTheme(QString::fromLatin1(info(glyph).themeName));
  if (!themed.isNull()) return themed;
  return QIcon(drawGlyph(glyph));
}

void chooseIconTheme() {
  if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")) return;
  for (const char* name : {"Adwaita", "breeze", "oxygen", "Tango"}) {
    if (QDir(QStringLiteral("/usr/share/icons/") + QLatin1String(name)).exists()) {
      QIcon::setThemeName(QLatin1String(name));
      return;
    }
  }
}

void chooseFontSubstitutes() {
  // Liberation Sans has the metrics of Arial, close to MS Sans Serif; DejaVu Sans is Verdana's wide cousin.
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  QFont::insertSubstitutions(QStringLiteral("Verdana"),
                             {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
}

}  // namespace quorrel
