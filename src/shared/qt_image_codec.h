#pragma once

#include <QImage>

#include "platform/image.h"

namespace bm::qt {

// Pixels held in a QImage.
class QtBitmap : public Bitmap {
 public:
  explicit QtBitmap(QImage image) : image_(std::move(image)) {}
  Size size() const override { return {static_cast<double>(image_.width()), static_cast<double>(image_.height())}; }
  const QImage& qimage() const { return image_; }

 private:
  QImage image_;
};

// The QImage of a bitmap image; a null QImage for symbols and empty images.
QImage toQImage(const Image& image);
Image fromQImage(QImage image);

// Image coding with QImage and its plugins. Needs no display, so the
// simulated platform uses it too.
class QtImageCodec : public ImageCodec {
 public:
  std::optional<Image> decode(const Bytes& bytes) override;
  Image redraw(const Image& image, Size size, ImageInterpolation interpolation) override;
  std::optional<Bytes> tiffRepresentation(const Image& image) override;
  std::optional<Bytes> jpegRepresentation(const Image& image, double quality) override;
};

}  // namespace bm::qt
