#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/image.h"

namespace bm {

class Menu;
class MenuItem;

// Told before every opening of the menu it is the delegate of.
class MenuDelegate {
 public:
  virtual ~MenuDelegate() = default;
  virtual void menuWillOpen(Menu& menu) = 0;
};

// What choosing an item does. The sender is a copy of the chosen item, taken
// before the action runs, so the action may rebuild the menu freely.
using MenuAction = std::function<void(const MenuItem& sender)>;

enum class MenuItemState { off, on };

// Symbolic text styling; each platform maps it onto its own fonts and colours.
struct TextStyle {
  enum class FontSize { regular, small };
  enum class FontWeight { regular, semibold };
  enum class Color { label };
  FontSize size = FontSize::regular;
  FontWeight weight = FontWeight::regular;
  Color color = Color::label;
  bool operator==(const TextStyle&) const = default;
};

struct AttributedTitle {
  std::string text;
  TextStyle style;
};

// One entry of a menu. A plain value: the platform reads it when it shows the
// menu and hands a copy back to the action when the item is chosen.
class MenuItem {
 public:
  MenuItem() = default;
  MenuItem(std::string title, MenuAction action, std::string keyEquivalent)
      : title_(std::move(title)), action_(std::move(action)), keyEquivalent_(std::move(keyEquivalent)) {}
  static MenuItem separatorItem();

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  // Styled title shown instead of the plain one, when set.
  const std::optional<AttributedTitle>& attributedTitle() const { return attributedTitle_; }
  void setAttributedTitle(AttributedTitle title) { attributedTitle_ = std::move(title); }

  bool hasAction() const { return static_cast<bool>(action_); }
  const MenuAction& action() const { return action_; }
  const std::string& keyEquivalent() const { return keyEquivalent_; }

  // Automatic enabling: an item is enabled unless disabled, when it has an
  // action to run or a submenu to open (whatever its action).
  bool isEnabled() const { return enabled_ && (hasAction() || submenu_ != nullptr); }
  void setEnabled(bool enabled) { enabled_ = enabled; }

  MenuItemState state() const { return state_; }
  void setState(MenuItemState state) { state_ = state; }

  const std::any& representedObject() const { return representedObject_; }
  void setRepresentedObject(std::any object) { representedObject_ = std::move(object); }

  const Image& image() const { return image_; }
  void setImage(Image image) { image_ = std::move(image); }

  const std::shared_ptr<Menu>& submenu() const { return submenu_; }
  void setSubmenu(std::shared_ptr<Menu> submenu) { submenu_ = std::move(submenu); }

  bool isSeparator() const { return separator_; }

 private:
  std::string title_;
  std::optional<AttributedTitle> attributedTitle_;
  MenuAction action_;
  std::string keyEquivalent_;
  bool enabled_ = true;
  MenuItemState state_ = MenuItemState::off;
  std::any representedObject_;
  Image image_;
  std::shared_ptr<Menu> submenu_;
  bool separator_ = false;
};

// A menu: a title and an ordered list of items. The platform renders it each
// time it opens, after telling the delegate. A submenu is listed under the
// title of the item that holds it, not under its own.
class Menu {
 public:
  explicit Menu(std::string title = "") : title_(std::move(title)) {}

  const std::string& title() const { return title_; }
  MenuDelegate* delegate() const { return delegate_; }
  // Not owned: the delegate must outlive the menu's openings.
  void setDelegate(MenuDelegate* delegate) { delegate_ = delegate; }

  const std::vector<MenuItem>& items() const { return items_; }
  MenuItem& addItem(MenuItem item);
  MenuItem& addItemWithTitle(std::string title, MenuAction action, std::string keyEquivalent);
  void removeAllItems() { items_.clear(); }

 private:
  std::string title_;
  MenuDelegate* delegate_ = nullptr;
  std::vector<MenuItem> items_;
};

}  // namespace bm
