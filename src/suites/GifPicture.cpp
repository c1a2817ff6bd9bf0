#include "suites/GifPicture.h"

#include <gif_lib.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <vector>

namespace quorrel::suites {

namespace {

// Larger than any picture a catalogue could want, small enough that a hostile picture costs little memory.
constexpr int MaxSide = 4096;

int appendBytes(GifFileType* gif, const GifByteType* data, int size) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
  return size;
}

bool encode(const QImage& rgb, std::string& out, std::string& error) {
  const int w = rgb.width(), h = rgb.height();
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<GifByteType> r(n), g(n), b(n), indices(n);
  for (int y = 0; y < h; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      r[i] = static_cast<GifByteType>(qRed(line[x]));
      g[i] = static_cast<GifByteType>(qGreen(line[x]));
      b[i] = static_cast<GifByteType>(qBlue(line[x]));
    }
  }
  int colours = 256;
  GifColorType palette[256] = {};
  if (GifQuantizeBuffer(static_cast<unsigned>(w), static_cast<unsigned>(h), &colours, r.data(), g.data(), b.data(),
                        indices.data(), palette) == GIF_ERROR) {
    error = "Не удалось подобрать цвета картинки.";
    return false;
  }
  out.clear();
  int code = 0;
  GifFileType* gif = EGifOpen(&out, appendBytes, &code);
  if (!gif) {
    error = std::string("GIF не записан: ") + GifErrorString(code) + ".";
    return false;
  }
  ColorMapObject* map = GifMakeMapObject(256, palette);
  bool ok = map && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < h; ++y)
    ok = EGifPutLine(gif, indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w), w) == GIF_OK;
  if (map) GifFreeMapObject(map);
  code = 0;
  if (EGifCloseFile(gif, &code) != GIF_OK) ok = false;
  if (!ok) error = "GIF не записан.";
  return ok;
}

}  // namespace

std::string placeholderGif(Placeholder kind, int height) {
  QImage image(128, height, QImage::Format_RGB32);
  image.fill(QColor(0xE8, 0xEC, 0xF0));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x60, 0x70, 0x80), 3));
  const int cx = 64, cy = height / 2;
  switch (kind) {
    case Placeholder::NoScreenshot:  // a phone screen, crossed out
      p.drawRoundedRect(QRect(cx - 28, cy - 40, 56, 80), 6, 6);
      p.drawLine(cx - 20, cy - 30, cx + 20, cy + 30);
      p.drawLine(cx + 20, cy - 30, cx - 20, cy + 30);
      break;
    case Placeholder::Folder:  // a folder
      p.setBrush(QColor(0xF0, 0xC0, 0x50));
      p.drawRect(QRect(cx - 36, cy - 20, 72, 48));
      p.drawRect(QRect(cx - 36, cy - 28, 28, 8));
      break;
    case Placeholder::News:  // a page of lines
      p.setBrush(Qt::white);
      p.drawRect(QRect(cx - 30, cy - 38, 60, 76));
      for (int y = cy - 26; y < cy + 30; y += 12) p.drawLine(cx - 20, y, cx + 20, y);
      break;
  }
  p.end();
  std::string gif, error;
  encode(image, gif, error);
  return gif;
}

bool isGif(const std::string& bytes) { return bytes.compare(0, 6, "GIF87a") == 0 || bytes.compare(0, 6, "GIF89a") == 0; }

bool pictureAsGif(const std::string& bytes, int maxHeight, std::string& gif, std::string& error) {
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  // The size is looked at before anything is decoded: a hostile header costs nothing.
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > MaxSide || size.height() > MaxSide)) {
    error = "Картинка больше " + std::to_string(MaxSide) + " точек по стороне.";
    return false;
  }
  QImage image = reader.read();
  if (image.isNull() || image.width() > MaxSide || image.height() > MaxSide) {
    error = "Картинка не читается (нужен GIF, PNG или JPEG).";
    return false;
  }
  if (maxHeight > 0 && image.height() > maxHeight)
    image = image.scaledToHeight(maxHeight, Qt::SmoothTransformation);
  QImage flat(image.size(), QImage::Format_RGB32);
  flat.fill(Qt::white);
  {
    QPainter p(&flat);
    p.drawImage(0, 0, image);
  }
  return encode(flat, gif, error);
}

}  // namespace quorrel::suites
