#pragma once

#include <QLabel>
#include <QWidget>
#include <memory>

#include "platform/popover.h"

namespace bm::qt {

// A frameless window under the tray icon showing one image. It never takes
// the keyboard: the user is usually about to paste what was just copied.
// So "transient" closes it on any click on it rather than on clicks in other
// applications, which X11 only reports to a window that grabs the pointer.
class QtPopover : public Popover {
 public:
  QtPopover();
  ~QtPopover() override;

  void setContentSize(Size size) override;
  void setImage(const Image& image, ImageScaling scaling) override;
  void setBehavior(PopoverBehavior behavior) override { behavior_ = behavior; }
  void showRelativeTo(Rect anchor, StatusButton& button, RectEdge preferredEdge) override;
  void close() override;
  bool isShown() const override;

 private:
  void updatePixmap();

  std::unique_ptr<QWidget> window_;
  QLabel* label_;
  QImage image_;
  ImageScaling scaling_ = ImageScaling::proportionallyUpOrDown;
  PopoverBehavior behavior_ = PopoverBehavior::applicationDefined;
};

}  // namespace bm::qt
