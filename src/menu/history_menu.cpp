#include "app/app_delegate.h"

namespace bm {

void AppDelegate::menuWillOpen(Menu&) { rebuildMenu(); }

// Not built yet: the entries, the preview styles and the commands. The menu
// is emptied so that it never shows stale items.
void AppDelegate::rebuildMenu() {
  const auto menu = statusItem->menu();
  if (!menu) return;
  menu->removeAllItems();
}

}  // namespace bm
