#include "app/app_delegate.h"

namespace bm {
namespace {

// Entries 1 to 10 stand under "History"; from the twelfth on they go to "More".
constexpr size_t kShownInMainMenu = 11;

MenuItem placeholder() {
  MenuItem item("Empty", nullptr, "");
  item.setEnabled(false);
  return item;
}

}  // namespace

void AppDelegate::menuWillOpen(Menu&) { rebuildMenu(); }

// Built afresh from the history and the style every time: nothing of the
// previous build survives.
void AppDelegate::rebuildMenu() {
  const auto menu = statusItem->menu();
  if (!menu) return;
  menu->removeAllItems();
  const size_t count = clipboardHistory.size();

  addSectionHeader(*menu, "Current");
  menu->addItem(count == 0 ? placeholder() : makeMenuItem(clipboardHistory[0]));
  menu->addItem(MenuItem::separatorItem());

  addSectionHeader(*menu, "History");
  if (count < 2) menu->addItem(placeholder());
  for (size_t i = 1; i < std::min(count, kShownInMainMenu); ++i) menu->addItem(makeMenuItem(clipboardHistory[i]));
  if (count > kShownInMainMenu) {
    MenuItem overflow(std::to_string(count - kShownInMainMenu) + " more items", nullptr, "");
    auto more = std::make_shared<Menu>("More");
    for (size_t i = kShownInMainMenu; i < count; ++i) more->addItem(makeMenuItem(clipboardHistory[i]));
    overflow.setSubmenu(std::move(more));
    menu->addItem(std::move(overflow));
  }
  menu->addItem(MenuItem::separatorItem());

  addSectionHeader(*menu, "Menu bar preview");
  for (const PreviewStyle style : allCases<PreviewStyle>()) {
    MenuItem item(std::string(rawValue(style)), actionFor(&AppDelegate::setPreviewStyle), "");
    item.setState(style == previewStyle ? MenuItemState::on : MenuItemState::off);
    item.setRepresentedObject(style);
    menu->addItem(std::move(item));
  }
  menu->addItem(MenuItem::separatorItem());

  menu->addItemWithTitle("Clear all history", actionFor(&AppDelegate::clearHistory), "");
  menu->addItemWithTitle("Quit", actionFor(&AppDelegate::quitApp), "q");
}

void AppDelegate::addSectionHeader(Menu& menu, const std::string& title) {
  MenuItem header(title, nullptr, "");
  header.setAttributedTitle({title, TextStyle{TextStyle::FontSize::small, TextStyle::FontWeight::semibold,
                                              TextStyle::Color::label}});
  menu.addItem(std::move(header));
}

}  // namespace bm
