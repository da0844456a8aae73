#pragma once

#include <QObject>
#include <QPoint>
#include <memory>

#include "platform/status_item.h"

class QMenu;
class QSystemTrayIcon;

namespace bm::qt {

class QtMainLoop;

// The status button as a tray icon. The tray shows an icon only (a fixed
// square), so a title is shown as the icon's tooltip.
class QtStatusButton : public StatusButton {
 public:
  explicit QtStatusButton(QSystemTrayIcon& tray) : tray_(tray) {}
  void setImage(const Image& image) override;
  const Image& image() const override { return image_; }
  void setTitle(const std::string& title) override;
  const std::string& title() const override { return title_; }
  Rect bounds() const override;
  // Where the icon is on the screen, in global coordinates.
  Rect screenGeometry() const;

 private:
  void updateToolTip();

  QSystemTrayIcon& tray_;
  Image image_;
  std::string title_;
};

// A tray icon with its menu. A left or right click opens the menu, as a
// click on a status item does; the delegate hears menuWillOpen first.
class QtStatusItem : public StatusItem {
 public:
  explicit QtStatusItem(QtMainLoop& loop);
  ~QtStatusItem() override;

  StatusButton* button() override { return button_.get(); }
  std::shared_ptr<Menu> menu() const override { return menu_; }
  void setMenu(std::shared_ptr<Menu> menu) override;
  // Opens the menu at a screen point, or under the icon for a null point.
  void open(QPoint at);

 private:
  QtMainLoop& loop_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QtStatusButton> button_;
  std::unique_ptr<QMenu> qmenu_;
  std::shared_ptr<Menu> menu_;
};

class QtStatusBar : public StatusBar {
 public:
  explicit QtStatusBar(QtMainLoop& loop) : loop_(loop) {}
  std::shared_ptr<StatusItem> statusItemWithLength(double length) override;

 private:
  QtMainLoop& loop_;
};

// Fills `target` with the items of `menu`; choosing one runs its action.
void renderMenu(const Menu& menu, QMenu& target);

}  // namespace bm::qt
