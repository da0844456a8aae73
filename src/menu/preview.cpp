#include "app/app_delegate.h"

namespace bm {
namespace {

constexpr Size kPopoverSize{200, 200};
constexpr double kPopoverSeconds = 5.0;  // its own constant, not previewDuration

}  // namespace

void AppDelegate::updateStatusButton(const std::string& text) {
  StatusButton* button = statusItem->button();
  switch (previewStyle) {
    case PreviewStyle::always:
      if (button) button->setTitle(text);
      break;
    case PreviewStyle::temporary:
      if (button) button->setTitle(text);
      if (previewTimer) previewTimer->invalidate();
      // The block clears the title whatever the style is by then.
      previewTimer = platform_.mainLoop().scheduleTimer(previewDuration, /*repeats=*/false,
                                                        [weak = weak_from_this()](Timer&) {
                                                          auto self = weak.lock();
                                                          if (!self) return;
                                                          if (auto* b = self->statusItem->button()) b->setTitle("");
                                                          self->previewTimer.reset();
                                                        });
      break;
    case PreviewStyle::hidden:
      if (button) button->setTitle("");
      break;
  }
}

void AppDelegate::cancelPreviewTimer() {
  if (!previewTimer) return;
  previewTimer->invalidate();
  previewTimer.reset();
}

void AppDelegate::showImagePreview(const Image& image) {
  if (previewStyle == PreviewStyle::hidden) return;
  std::shared_ptr<Popover> popover = platform_.makePopover();
  popover->setContentSize(kPopoverSize);
  popover->setImage(image, ImageScaling::proportionallyUpOrDown);
  popover->setBehavior(PopoverBehavior::transient);
  StatusButton* button = statusItem->button();
  if (!button) return;
  popover->showRelativeTo(button->bounds(), *button, RectEdge::minY);
  // The close block is the popover's only owner.
  platform_.mainLoop().dispatchAfter(kPopoverSeconds, [popover] { popover->close(); });
}

void AppDelegate::setPreviewStyle(const MenuItem& sender) { applyPreviewStyle(sender); }

void AppDelegate::applyPreviewStyle(const MenuItem& sender) {
  const auto* style = std::any_cast<PreviewStyle>(&sender.representedObject());
  if (!style) return;
  previewStyle = *style;
  persistenceManager->savePreviewStyle(previewStyle);
  if (!clipboardHistory.empty()) {
    if (previewStyle == PreviewStyle::hidden) {
      if (auto* button = statusItem->button()) button->setTitle("");
    } else {
      updateStatusButton(clipboardHistory.front().displayText);
    }
  }
  rebuildMenu();
}

}  // namespace bm
