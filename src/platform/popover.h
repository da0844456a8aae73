#pragma once

#include "platform/geometry.h"
#include "platform/image.h"
#include "platform/status_item.h"

namespace bm {

enum class ImageScaling { proportionallyDown, axesIndependently, none, proportionallyUpOrDown };
enum class PopoverBehavior { applicationDefined, transient, semitransient };

// A small window anchored to the status button that shows one image.
class Popover {
 public:
  virtual ~Popover() = default;
  virtual void setContentSize(Size size) = 0;
  virtual void setImage(const Image& image, ImageScaling scaling) = 0;
  // Transient: any click elsewhere closes it.
  virtual void setBehavior(PopoverBehavior behavior) = 0;
  virtual void showRelativeTo(Rect anchor, StatusButton& button, RectEdge preferredEdge) = 0;
  virtual void close() = 0;
  virtual bool isShown() const = 0;
};

}  // namespace bm
