#pragma once

#include <QAction>
#include <QFont>
#include <QKeySequence>
#include <QMenu>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/menu.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/sim/sim_platform.h"

namespace bm::contract {

// One entry of a menu as its platform shows it, in terms both can state.
struct RenderedItem {
  std::string title;
  bool enabled = false;
  bool checked = false;
  std::string shortcut;
  bool hasImage = false;
  bool separator = false;
  bool semibold = false;
  bool small = false;
  // A submenu is listed under its item's title (Qt's QMenu::title() is its
  // action's text), so only its presence and items are compared.
  bool hasSubmenu = false;
  std::vector<RenderedItem> submenu;
  bool operator==(const RenderedItem&) const = default;
};

inline RenderedItem renderedSeparator() {
  RenderedItem item;
  item.separator = true;
  return item;
}

inline void PrintTo(const RenderedItem& item, std::ostream* out) {
  if (item.separator) {
    *out << "----";
    return;
  }
  *out << '"' << item.title << '"' << (item.enabled ? " enabled" : " disabled") << (item.checked ? " checked" : "")
       << (item.shortcut.empty() ? "" : " shortcut " + item.shortcut) << (item.hasImage ? " image" : "")
       << (item.semibold ? " semibold" : "") << (item.small ? " small" : "");
  if (item.hasSubmenu) {
    *out << " submenu {";
    for (const auto& child : item.submenu) {
      PrintTo(child, out);
      *out << "; ";
    }
    *out << '}';
  }
}

// The simulated status item's menu: what the sim platform shows once it is
// opened, chosen through the sim platform.
class SimMenuAdaptor {
 public:
  static constexpr const char* kName = "Sim";
  static constexpr const char* kQuitShortcut = "q";  // the key equivalent as given

  void show(std::shared_ptr<Menu> menu) {
    item_->setMenu(std::move(menu));
    platform_.openMenu();
  }
  std::vector<RenderedItem> rendered() const { return describe(*platform_.shownMenu()); }
  // Opens the menu again if a choice closed it.
  bool choose(const std::vector<size_t>& path) {
    platform_.openMenu();
    return platform_.chooseMenuItem(path);
  }

 private:
  static std::vector<RenderedItem> describe(const Menu& menu) {
    std::vector<RenderedItem> items;
    for (const MenuItem& item : menu.items()) {
      if (item.isSeparator()) {
        items.push_back(renderedSeparator());
        continue;
      }
      const auto& styled = item.attributedTitle();
      RenderedItem rendered;
      rendered.title = styled ? styled->text : item.title();
      rendered.enabled = item.isEnabled();
      rendered.checked = item.state() == MenuItemState::on;
      rendered.shortcut = item.keyEquivalent();
      rendered.hasImage = !item.image().isNull();
      rendered.semibold = styled && styled->style.weight == TextStyle::FontWeight::semibold;
      rendered.small = styled && styled->style.size == TextStyle::FontSize::small;
      if (item.submenu()) {
        rendered.hasSubmenu = true;
        rendered.submenu = describe(*item.submenu());
      }
      items.push_back(std::move(rendered));
    }
    return items;
  }

  sim::SimWorld world_;
  sim::SimPlatform platform_{world_};
  std::shared_ptr<StatusItem> item_ = platform_.systemStatusBar().statusItemWithLength(StatusBar::kVariableLength);
};

// What renderMenu puts into a QMenu, chosen as a user could: through enabled
// submenu actions to an enabled action without a submenu.
class QtMenuAdaptor {
 public:
  static constexpr const char* kName = "Qt";
  static constexpr const char* kQuitShortcut = "Ctrl+Q";

  void show(std::shared_ptr<Menu> menu) {
    menu_ = std::move(menu);
    qt::renderMenu(*menu_, target_);
  }
  std::vector<RenderedItem> rendered() const { return describe(target_); }
  bool choose(const std::vector<size_t>& path) {
    const QMenu* level = &target_;
    for (size_t depth = 0; depth < path.size(); ++depth) {
      const auto actions = level->actions();
      if (path[depth] >= static_cast<size_t>(actions.size())) return false;
      QAction* action = actions[static_cast<qsizetype>(path[depth])];
      if (action->isSeparator() || !action->isEnabled()) return false;
      if (depth + 1 < path.size()) {
        if (!action->menu()) return false;
        level = action->menu();
        continue;
      }
      if (action->menu()) return false;  // a click on it opens the submenu
      action->trigger();
      return true;
    }
    return false;
  }

 private:
  static std::vector<RenderedItem> describe(const QMenu& menu) {
    std::vector<RenderedItem> items;
    for (const QAction* action : menu.actions()) {
      if (action->isSeparator()) {
        items.push_back(renderedSeparator());
        continue;
      }
      RenderedItem rendered;
      rendered.title = action->text().toStdString();
      rendered.enabled = action->isEnabled();
      rendered.checked = action->isCheckable() && action->isChecked();
      rendered.shortcut = action->shortcut().toString(QKeySequence::PortableText).toStdString();
      rendered.hasImage = !action->icon().isNull();
      rendered.semibold = action->font().weight() >= QFont::DemiBold;
      rendered.small = action->font().pointSizeF() < menu.font().pointSizeF();
      if (const QMenu* submenu = action->menu()) {
        rendered.hasSubmenu = true;
        rendered.submenu = describe(*submenu);
      }
      items.push_back(std::move(rendered));
    }
    return items;
  }

  std::shared_ptr<Menu> menu_;
  QMenu target_;
};

}  // namespace bm::contract
