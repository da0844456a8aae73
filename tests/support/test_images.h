#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <zlib.h>

#include <cstdint>

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

// A small PNG whose header declares `width` x `height`: a reader that trusts
// it would ask for that much memory before finding the pixels missing.
inline Bytes pngDeclaring(std::uint32_t width, std::uint32_t height) {
  Bytes png = stripes(4, 4);
  const auto put = [&png](size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  };
  // Signature (8), then the header chunk: length, "IHDR", 13 bytes of data, CRC.
  put(16, width);
  put(20, height);
  put(29, static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17)));
  return png;
}

}  // namespace bm::test
