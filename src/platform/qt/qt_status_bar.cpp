#include "platform/qt/qt_status_bar.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "shared/qt_image_codec.h"
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

// Calls back when a widget is really shown or hidden.
class VisibilityWatcher : public QObject {
 public:
  VisibilityWatcher(QObject* parent, std::function<void(bool)> changed)
      : QObject(parent), changed_(std::move(changed)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) changed_(true);
    if (event->type() == QEvent::Hide) changed_(false);
    return false;
  }

 private:
  std::function<void(bool)> changed_;
};

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
    if (reason == QSystemTrayIcon::Trigger) open(QPoint());
    if (reason == QSystemTrayIcon::Context) open(QCursor::pos());
  });
}

QtStatusItem::~QtStatusItem() { tray_->hide(); }

void QtStatusItem::setMenu(std::shared_ptr<Menu> menu) {
  menu_ = std::move(menu);
  if (!qmenu_) {
    qmenu_ = std::make_unique<QMenu>();
    qmenu_->installEventFilter(new VisibilityWatcher(qmenu_.get(), [this](bool shown) {
      if (shown) {
        loop_.setTracking(true);
      } else {
        // Held-back timers resume after the chosen item's action, which Qt
        // delivers right after the menu hides.
        QTimer::singleShot(0, qmenu_.get(), [this] { loop_.setTracking(qmenu_->isVisible()); });
      }
    }));
  }
}

// The tray's own context menu would open without asking the delegate first,
// and Qt shows even an empty menu, so the item opens its menu itself.
void QtStatusItem::open(QPoint at) {
  if (!menu_ || qmenu_->isVisible()) return;
  if (menu_->delegate()) menu_->delegate()->menuWillOpen(*menu_);
  renderMenu(*menu_, *qmenu_);
  if (qmenu_->isEmpty()) return;
  if (at.isNull()) {
    // Under the icon; a tray that does not tell where its icons are gets the pointer.
    const Rect icon = button_->screenGeometry();
    at = icon.width > 0 ? QPoint(static_cast<int>(icon.x), static_cast<int>(icon.y + icon.height)) : QCursor::pos();
  }
  qmenu_->popup(at);
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
