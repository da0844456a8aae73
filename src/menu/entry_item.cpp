#include "app/app_delegate.h"
#include "shared/files.h"

namespace bm {

MenuItem AppDelegate::makeMenuItem(const ClipboardItem& entry) {
  MenuItem item(entry.displayText, actionFor(&AppDelegate::menuItemClicked), "");
  item.setRepresentedObject(entry);
  if (entry.type != ItemType::image) return item;
  const auto* image = std::get_if<ImageContent>(&entry.content);
  if (!image) return item;

  // Any trouble with the thumbnail leaves the plain item, silently.
  const auto thumbnail = persistenceManager->thumbnailDirectory() / image->storedFileId.uuidString();
  if (!files::exists(thumbnail)) return item;
  const auto bytes = files::readWholeFile(thumbnail);
  if (!bytes) return item;
  const auto decoded = platform_.images().decode(bytes.value());
  if (!decoded) return item;
  item.setTitle("Image");
  item.setImage(platform_.images().redraw(*decoded, {16, 16}, ImageInterpolation::high));
  return item;
}

}  // namespace bm
