#pragma once

#include <QImage>
#include <optional>

#include "platform/image.h"

namespace bm::qt {

// Pixels held in a QImage, with the TIFF they were decoded from, if any.
class QtBitmap : public Bitmap {
 public:
  explicit QtBitmap(QImage image, std::optional<Bytes> sourceTiff = std::nullopt)
      : image_(std::move(image)), sourceTiff_(std::move(sourceTiff)) {}
  Size size() const override { return {static_cast<double>(image_.width()), static_cast<double>(image_.height())}; }
  const QImage& qimage() const { return image_; }
  const std::optional<Bytes>& sourceTiff() const { return sourceTiff_; }

 private:
  QImage image_;
  std::optional<Bytes> sourceTiff_;
};

// The QImage of a bitmap image; a null QImage for symbols and empty images.
QImage toQImage(const Image& image);
Image fromQImage(QImage image);

// Image coding with QImage and its plugins. Needs no display, so the
// simulated platform uses it too.
// An image decoded from TIFF keeps those bytes as its TIFF representation,
// so that an image put back on the clipboard is the very TIFF that was kept.
class QtImageCodec : public ImageCodec {
 public:
  std::optional<Image> decode(const Bytes& bytes) override;
  Image redraw(const Image& image, Size size, ImageInterpolation interpolation) override;
  std::optional<Bytes> tiffRepresentation(const Image& image) override;
  std::optional<Bytes> jpegRepresentation(const Image& image, double quality) override;
};

}  // namespace bm::qt
