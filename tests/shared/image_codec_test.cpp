#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImage>

#include "shared/qt_image_codec.h"

namespace bm {
namespace {

Bytes png(int width, int height, QColor color) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return Bytes(bytes.begin(), bytes.end());
}

bool startsWith(const Bytes& bytes, std::initializer_list<std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

TEST(ImageCodecTest, DecodesRealImagesAndRefusesEverythingElse) {
  qt::QtImageCodec codec;
  const auto image = codec.decode(png(30, 20, Qt::red));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (Size{30, 20}));
  EXPECT_FALSE(codec.decode(bytesOf("plain text, not an image")));
  EXPECT_FALSE(codec.decode({}));
  Bytes truncated = png(30, 20, Qt::red);
  truncated.resize(truncated.size() / 2);
  EXPECT_FALSE(codec.decode(truncated));
}

TEST(ImageCodecTest, RedrawStretchesTheWholeImageIntoTheNewSize) {
  qt::QtImageCodec codec;
  QImage halves(40, 10, QImage::Format_ARGB32);
  halves.fill(Qt::blue);
  for (int y = 0; y < 10; ++y)
    for (int x = 20; x < 40; ++x) halves.setPixelColor(x, y, Qt::green);
  const Image drawn = codec.redraw(qt::fromQImage(halves), {64, 64}, ImageInterpolation::high);
  EXPECT_EQ(drawn.size(), (Size{64, 64}));
  const QImage pixels = qt::toQImage(drawn);
  EXPECT_EQ(pixels.pixelColor(5, 60), QColor(Qt::blue));
  EXPECT_EQ(pixels.pixelColor(58, 3), QColor(Qt::green));
  EXPECT_TRUE(codec.redraw(Image::systemSymbol("clipboard", ""), {16, 16}, ImageInterpolation::high).isNull());
}

TEST(ImageCodecTest, EncodesTiffAndJpegThatDecodeAgain) {
  qt::QtImageCodec codec;
  const auto image = codec.decode(png(64, 64, Qt::yellow)).value();
  const auto tiff = codec.tiffRepresentation(image);
  ASSERT_TRUE(tiff);
  EXPECT_TRUE(startsWith(*tiff, {'I', 'I', 42, 0}) || startsWith(*tiff, {'M', 'M', 0, 42}));
  EXPECT_EQ(codec.decode(*tiff)->size(), (Size{64, 64}));

  const auto best = codec.jpegRepresentation(image, 1.0);
  const auto small = codec.jpegRepresentation(image, 0.1);
  ASSERT_TRUE(best && small);
  EXPECT_TRUE(startsWith(*best, {0xFF, 0xD8, 0xFF}));
  EXPECT_LT(small->size(), best->size());
  EXPECT_FALSE(codec.tiffRepresentation(Image()));
}

// A TIFF that Qt would not write so (here with trailing padding) comes back
// as it was; a redrawn image is encoded anew.
TEST(ImageCodecTest, AnImageDecodedFromTiffKeepsThoseBytesAsItsTiff) {
  qt::QtImageCodec codec;
  QImage pixels(8, 4, QImage::Format_RGB32);
  pixels.fill(Qt::blue);
  QByteArray written;
  QBuffer buffer(&written);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(pixels.save(&buffer, "TIFF"));
  Bytes tiff(written.begin(), written.end());
  tiff.insert(tiff.end(), {0, 0, 0, 0});  // trailing bytes a reader ignores

  const auto image = codec.decode(tiff).value();
  EXPECT_EQ(codec.tiffRepresentation(image), tiff);
  const auto redrawn = codec.tiffRepresentation(codec.redraw(image, {8, 4}, ImageInterpolation::high));
  ASSERT_TRUE(redrawn);
  EXPECT_NE(*redrawn, tiff);
}

TEST(ImageCodecTest, TiffKeepsTheColoursOfEveryPixelFormat) {
  qt::QtImageCodec codec;
  QImage oneBit(8, 8, QImage::Format_Mono);  // as a one-colour palette PNG decodes
  oneBit.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
  oneBit.fill(0);
  QImage palette = QImage(8, 8, QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8, {qRgb(0, 160, 0)});
  QImage translucent(8, 8, QImage::Format_ARGB32);
  translucent.fill(qRgba(10, 20, 200, 128));
  for (const QImage& source : {oneBit, palette, translucent}) {
    SCOPED_TRACE(source.format());
    const auto tiff = codec.tiffRepresentation(qt::fromQImage(source));
    ASSERT_TRUE(tiff);
    const QImage back = qt::toQImage(codec.decode(*tiff).value());
    const QColor seen = back.pixelColor(3, 3), expected = source.pixelColor(3, 3);
    // Translucent pixels may be premultiplied on the way: one step of rounding.
    for (const auto& [a, b] : {std::pair{seen.red(), expected.red()}, {seen.green(), expected.green()},
                               {seen.blue(), expected.blue()}, {seen.alpha(), expected.alpha()}})
      EXPECT_LE(std::abs(a - b), 2) << seen.name(QColor::HexArgb).toStdString();
  }
}

}  // namespace
}  // namespace bm
