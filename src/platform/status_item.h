#pragma once

#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/image.h"
#include "platform/menu.h"

namespace bm {

// The clickable part of a status item: an icon with an optional title.
class StatusButton {
 public:
  virtual ~StatusButton() = default;
  virtual void setImage(const Image& image) = 0;
  virtual const Image& image() const = 0;
  // "" shows the icon alone.
  virtual void setTitle(const std::string& title) = 0;
  virtual const std::string& title() const = 0;
  // The button's own rectangle, origin (0, 0): the anchor for a popover.
  virtual Rect bounds() const = 0;
};

// One item in the system's status area (the tray, the menu bar).
class StatusItem {
 public:
  virtual ~StatusItem() = default;
  // May be null: the system can refuse an item its button.
  virtual StatusButton* button() = 0;
  virtual std::shared_ptr<Menu> menu() const = 0;
  // The menu opens when the item is clicked; its delegate hears menuWillOpen first.
  virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
};

class StatusBar {
 public:
  static constexpr double kVariableLength = -1.0;
  virtual ~StatusBar() = default;
  // The item stays in the status area for as long as the caller holds it.
  virtual std::shared_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

}  // namespace bm
