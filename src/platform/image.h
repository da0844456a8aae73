#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/bytes.h"
#include "platform/geometry.h"

namespace bm {

// Pixels held by the platform's image code; the core never looks inside.
class Bitmap {
 public:
  virtual ~Bitmap() = default;
  virtual Size size() const = 0;
};

// An image value: either decoded pixels or a named system symbol that the
// platform draws itself (the status icon). Copies share the same pixels.
class Image {
 public:
  Image() = default;
  explicit Image(std::shared_ptr<const Bitmap> bitmap) : bitmap_(std::move(bitmap)) {}
  static Image systemSymbol(std::string name, std::string accessibilityDescription) {
    Image image;
    image.symbolName_ = std::move(name);
    image.accessibilityDescription_ = std::move(accessibilityDescription);
    return image;
  }

  bool isNull() const { return !bitmap_ && symbolName_.empty(); }
  Size size() const { return bitmap_ ? bitmap_->size() : Size{}; }
  const Bitmap* bitmap() const { return bitmap_.get(); }
  const std::string& symbolName() const { return symbolName_; }
  const std::string& accessibilityDescription() const { return accessibilityDescription_; }

 private:
  std::shared_ptr<const Bitmap> bitmap_;
  std::string symbolName_;
  std::string accessibilityDescription_;
};

enum class ImageInterpolation { none, low, medium, high };

// Decoding, redrawing and encoding of images.
class ImageCodec {
 public:
  virtual ~ImageCodec() = default;
  // Decodes bytes of any image format the platform reads; empty when they are no image.
  virtual std::optional<Image> decode(const Bytes& bytes) = 0;
  // A new image of `size` with the whole of `image` drawn (stretched) into it.
  virtual Image redraw(const Image& image, Size size, ImageInterpolation interpolation) = 0;
  // TIFF bytes of a bitmap image; empty when it cannot be encoded.
  virtual std::optional<Bytes> tiffRepresentation(const Image& image) = 0;
  // JPEG bytes with a compression quality from 0.0 (smallest) to 1.0 (best).
  virtual std::optional<Bytes> jpegRepresentation(const Image& image, double quality) = 0;
};

}  // namespace bm
