#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>

#include "platform/bytes.h"

namespace bm::test {

// A picture of four vertical stripes, red, green, blue and yellow, in a file
// format Qt writes ("PNG", "TIFF", ...).
inline Bytes stripes(int width, int height, const char* format = "PNG") {
  const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
  QImage image(width, height, QImage::Format_ARGB32);
  for (int x = 0; x < width; ++x)
    for (int y = 0; y < height; ++y) image.setPixelColor(x, y, colours[x * 4 / width]);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return Bytes(bytes.begin(), bytes.end());
}

}  // namespace bm::test
