#pragma once

#include <string>
#include <vector>

#include "platform/menu.h"

namespace bm::test {

// A menu as the rows a user sees, one string each:
//   "# Current"          a styled section header (small, semibold, label colour)
//   "Empty (disabled)"   an item that cannot be chosen
//   "Entry"              an item that can be chosen
//   "[x] Hide"           a checked item
//   "Quit [q]"           an item with a key equivalent
//   "3 more items > More (3)"  an item opening a submenu of 3 items
//   "---"                a separator
inline std::vector<std::string> rows(const Menu& menu) {
  std::vector<std::string> rows;
  for (const MenuItem& item : menu.items()) {
    if (item.isSeparator()) {
      rows.push_back("---");
      continue;
    }
    std::string row;
    if (const auto& styled = item.attributedTitle()) {
      const TextStyle header{TextStyle::FontSize::small, TextStyle::FontWeight::semibold, TextStyle::Color::label};
      row = (styled->style == header ? "# " : "#? ") + styled->text;
      if (item.isEnabled()) row += " (enabled)";
    } else {
      row = item.title();
      if (item.state() == MenuItemState::on) row = "[x] " + row;
      if (!item.keyEquivalent().empty()) row += " [" + item.keyEquivalent() + "]";
      if (item.submenu()) {
        row += " > " + item.submenu()->title() + " (" + std::to_string(item.submenu()->items().size()) + ")";
      }
      if (!item.isEnabled()) row += " (disabled)";
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace bm::test
