#include "platform/qt/qt_status_bar.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "platform/qt/qt_image_codec.h"
#include "platform/qt/qt_main_loop.h"

namespace bm::qt {
namespace {

QIcon iconFor(const Image& image) {
  if (image.symbolName() == "clipboard") return QIcon::fromTheme("clipboard", QIcon(":/icons/clipboard.svg"));
  const QImage pixels = toQImage(image);
  return pixels.isNull() ? QIcon() : QIcon(QPixmap::fromImage(pixels));
}

QFont fontFor(const TextStyle& style, QFont font) {
  if (style.size == TextStyle::FontSize::small) font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
  if (style.weight == TextStyle::FontWeight::semibold) font.setWeight(QFont::DemiBold);
  return font;
}

// The X11 tray icon is a small window of its own; name it for assistive
// technology and for tools that look for windows by name.
void nameTrayWindows(const QString& name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() != QLatin1String("QSystemTrayIconSys")) continue;
    widget->setAccessibleName(name);
    widget->setWindowTitle(name);
  }
}

}  // namespace

void QtStatusButton::setImage(const Image& image) {
  image_ = image;
  tray_.setIcon(iconFor(image));
  tray_.show();  // shown once it has something to show
  updateToolTip();
  nameTrayWindows(QString::fromStdString(image.accessibilityDescription()));
}

void QtStatusButton::setTitle(const std::string& title) {
  title_ = title;
  updateToolTip();
}

void QtStatusButton::updateToolTip() {
  tray_.setToolTip(QString::fromStdString(title_.empty() ? image_.accessibilityDescription() : title_));
}

Rect QtStatusButton::screenGeometry() const {
  const QRect area = tray_.geometry();
  return {static_cast<double>(area.x()), static_cast<double>(area.y()), static_cast<double>(area.width()),
          static_cast<double>(area.height())};
}

Rect QtStatusButton::bounds() const {
  const Rect area = screenGeometry();
  if (area.width <= 0 || area.height <= 0) return {0, 0, 22, 22};  // not docked yet
  return {0, 0, area.width, area.height};
}

QtStatusItem::QtStatusItem(QtMainLoop& loop)
    : loop_(loop), tray_(std::make_unique<QSystemTrayIcon>()), button_(std::make_unique<QtStatusButton>(*tray_)) {
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger && qmenu_ && !qmenu_->isVisible()) {
      const Rect at = button_->screenGeometry();
      qmenu_->popup(QPoint(static_cast<int>(at.x), static_cast<int>(at.y + at.height)));
    }
  });
}

QtStatusItem::~QtStatusItem() { tray_->hide(); }

void QtStatusItem::setMenu(std::shared_ptr<Menu> menu) {
  menu_ = std::move(menu);
  if (!qmenu_) {
    qmenu_ = std::make_unique<QMenu>();
    QObject::connect(qmenu_.get(), &QMenu::aboutToShow, [this] { aboutToShow(); });
    // Held-back timers resume after the chosen item's action, which Qt
    // delivers right after the menu hides.
    QObject::connect(qmenu_.get(), &QMenu::aboutToHide,
                     [this] { QTimer::singleShot(0, qmenu_.get(), [this] { loop_.setTracking(false); }); });
    tray_->setContextMenu(qmenu_.get());
  }
}

void QtStatusItem::aboutToShow() {
  loop_.setTracking(true);
  if (!menu_) return;
  if (menu_->delegate()) menu_->delegate()->menuWillOpen(*menu_);
  renderMenu(*menu_, *qmenu_);
}

void renderMenu(const Menu& menu, QMenu& target) {
  target.clear();
  for (auto* submenu : target.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) submenu->deleteLater();
  for (const MenuItem& item : menu.items()) {
    if (item.isSeparator()) {
      target.addSeparator();
      continue;
    }
    const auto& styled = item.attributedTitle();
    auto* action = target.addAction(QString::fromStdString(styled ? styled->text : item.title()));
    if (styled) action->setFont(fontFor(styled->style, target.font()));
    action->setEnabled(item.isEnabled());
    if (item.state() == MenuItemState::on) {
      action->setCheckable(true);
      action->setChecked(true);
    }
    if (!item.keyEquivalent().empty())
      action->setShortcut(QKeySequence(QString("Ctrl+") + QString::fromStdString(item.keyEquivalent()).toUpper()));
    if (!item.image().isNull()) action->setIcon(iconFor(item.image()));
    if (item.submenu()) {
      auto* submenu = new QMenu(QString::fromStdString(item.submenu()->title()), &target);
      renderMenu(*item.submenu(), *submenu);
      action->setMenu(submenu);
    }
    if (item.hasAction()) {
      QObject::connect(action, &QAction::triggered, [sender = item] { sender.action()(sender); });
    }
  }
}

std::shared_ptr<StatusItem> QtStatusBar::statusItemWithLength(double) { return std::make_shared<QtStatusItem>(loop_); }

}  // namespace bm::qt
