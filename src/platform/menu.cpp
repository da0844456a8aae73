#include "platform/menu.h"

namespace bm {

MenuItem MenuItem::separatorItem() {
  MenuItem item;
  item.separator_ = true;
  return item;
}

MenuItem& Menu::addItem(MenuItem item) {
  items_.push_back(std::move(item));
  return items_.back();
}

MenuItem& Menu::addItemWithTitle(std::string title, MenuAction action, std::string keyEquivalent) {
  return addItem(MenuItem(std::move(title), std::move(action), std::move(keyEquivalent)));
}

}  // namespace bm
