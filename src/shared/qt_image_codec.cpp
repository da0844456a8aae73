#include "shared/qt_image_codec.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <climits>
#include <QPainter>
#include <cmath>

namespace bm::qt {
namespace {

std::optional<Bytes> encode(const QImage& image, const char* format, int quality) {
  if (image.isNull()) return std::nullopt;
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  if (!writer.write(image)) return std::nullopt;
  return Bytes(encoded.begin(), encoded.end());
}

}  // namespace

QImage toQImage(const Image& image) {
  const auto* bitmap = dynamic_cast<const QtBitmap*>(image.bitmap());
  return bitmap ? bitmap->qimage() : QImage();
}

Image fromQImage(QImage image) { return Image(std::make_shared<QtBitmap>(std::move(image))); }

std::optional<Image> QtImageCodec::decode(const Bytes& bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
  QByteArray view =
      QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&view);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const bool isTiff = reader.format() == "tiff";
  QImage image;
  if (!reader.read(&image)) return std::nullopt;
  auto bitmap = std::make_shared<QtBitmap>(std::move(image), isTiff ? std::optional<Bytes>(bytes) : std::nullopt);
  return Image(std::move(bitmap));
}

Image QtImageCodec::redraw(const Image& image, Size size, ImageInterpolation interpolation) {
  const QImage source = toQImage(image);
  const int width = static_cast<int>(std::lround(size.width));
  const int height = static_cast<int>(std::lround(size.height));
  if (source.isNull() || width <= 0 || height <= 0) return Image();
  QImage target(width, height, QImage::Format_ARGB32_Premultiplied);
  target.fill(Qt::transparent);
  QPainter painter(&target);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, interpolation != ImageInterpolation::none &&
                                                             interpolation != ImageInterpolation::low);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QRectF(0, 0, width, height), source, QRectF(0, 0, source.width(), source.height()));
  painter.end();
  return fromQImage(std::move(target));
}

std::optional<Bytes> QtImageCodec::tiffRepresentation(const Image& image) {
  if (const auto* bitmap = dynamic_cast<const QtBitmap*>(image.bitmap()); bitmap && bitmap->sourceTiff())
    return bitmap->sourceTiff();
  QImage source = toQImage(image);
  // Qt writes one-bit images as black and white whatever their two colours
  // are (a red one-colour PNG came out black); eight-bit palettes are kept.
  if (source.format() == QImage::Format_Mono || source.format() == QImage::Format_MonoLSB)
    source = source.convertToFormat(QImage::Format_Indexed8);
  return encode(source, "tiff", -1);
}

std::optional<Bytes> QtImageCodec::jpegRepresentation(const Image& image, double quality) {
  // JPEG has no alpha: flatten onto white, as a drawn image would look.
  QImage source = toQImage(image);
  if (source.isNull()) return std::nullopt;
  QImage flat(source.size(), QImage::Format_RGB32);
  flat.fill(Qt::white);
  QPainter(&flat).drawImage(0, 0, source);
  return encode(flat, "jpeg", static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
}

}  // namespace bm::qt
