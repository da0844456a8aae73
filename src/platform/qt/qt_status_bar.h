#pragma once

#include <QObject>
#include <QPoint>
#include <chrono>
#include <memory>

#include "platform/status_item.h"

class QMenu;
class QSystemTrayIcon;
class QTimer;

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

// A tray icon with its menu. Qt is given a context menu for the icon, because
// a StatusNotifierItem host opens only that one, on a right click; it is
// rebuilt whenever it is about to show, whoever opens it. A left click opens
// the same menu, rendered afresh into a menu of the item's own. The delegate
// hears menuWillOpen before each.
class QtStatusItem : public StatusItem {
 public:
  // How long timers wait for a host that never says the menu has closed.
  static constexpr std::chrono::milliseconds kDefaultTrackingBound{10'000};

  explicit QtStatusItem(QtMainLoop& loop);
  ~QtStatusItem() override;

  StatusButton* button() override { return button_.get(); }
  std::shared_ptr<Menu> menu() const override { return menu_; }
  void setMenu(std::shared_ptr<Menu> menu) override;
  // Opens the menu at a screen point; for a null point under the icon, or at
  // the pointer when the tray does not say where the icon is.
  void open(QPoint at);
  // The menu Qt opens on a right click, and exports to StatusNotifierItem hosts.
  QMenu& contextMenu() { return *contextMenu_; }
  // The menu open() shows.
  QMenu& popupMenu() { return *popupMenu_; }
  void setTrackingBound(std::chrono::milliseconds bound);

 private:
  void watch(QMenu& menu);
  void watchChoices(QMenu& menu);
  bool prepare(QMenu& target);
  void renderCurrent();
  void closed();
  void startTracking();
  void stopTracking();

  QtMainLoop& loop_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QtStatusButton> button_;
  std::unique_ptr<QMenu> contextMenu_;
  std::unique_ptr<QMenu> popupMenu_;
  QTimer* trackingBound_;  // owned by contextMenu_
  std::shared_ptr<Menu> menu_;
  QMenu* prepared_ = nullptr;  // rendered by open(), not to be rebuilt by aboutToShow
  bool tracking_ = false;
};

class QtStatusBar : public StatusBar {
 public:
  explicit QtStatusBar(QtMainLoop& loop) : loop_(loop) {}
  std::shared_ptr<StatusItem> statusItemWithLength(double length) override;

 private:
  QtMainLoop& loop_;
};

// Fills `target` with the items of `menu`; choosing one runs its action.
// Titles are shown as they are: an "&" is not a mnemonic.
void renderMenu(const Menu& menu, QMenu& target);

}  // namespace bm::qt
