#include "platform/qt/qt_status_bar.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <utility>

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

// Qt matches the shortcuts of a parentless popup menu's actions against no
// window, so they would do nothing while the menu is open, the one time the
// app takes keys. The menu, and each open submenu, matches them itself.
class KeyEquivalents : public QObject {
 public:
  using QObject::QObject;

  static void installOn(QMenu& menu) {
    // By name: without Q_OBJECT, findChild<KeyEquivalents*> would match any child.
    static const QString name = QStringLiteral("KeyEquivalents");
    if (menu.findChild<QObject*>(name, Qt::FindDirectChildrenOnly)) return;
    auto* filter = new KeyEquivalents(&menu);
    filter->setObjectName(name);
    menu.installEventFilter(filter);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // Plain keys move through the menu and pick items by their letters.
    if (!(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier))) return false;
    auto* open = qobject_cast<QMenu*>(watched);
    if (!open) return false;
    QMenu* root = open;
    while (auto* parent = qobject_cast<QMenu*>(root->parent())) root = parent;
    QAction* chosen = find(*root, QKeySequence(key->keyCombination()));
    if (!chosen) return false;
    for (QMenu* menu = open; menu; menu = qobject_cast<QMenu*>(menu->parent())) menu->hide();
    chosen->trigger();
    return true;
  }

 private:
  static QAction* find(const QMenu& menu, const QKeySequence& pressed) {
    for (QAction* action : menu.actions()) {
      if (!action->isEnabled()) continue;
      if (action->menu()) {
        if (QAction* found = find(*action->menu(), pressed)) return found;
      } else if (!action->shortcut().isEmpty() && action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
        return action;
      }
    }
    return nullptr;
  }
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
    : loop_(loop),
      tray_(std::make_unique<QSystemTrayIcon>()),
      button_(std::make_unique<QtStatusButton>(*tray_)),
      contextMenu_(std::make_unique<QMenu>()),
      popupMenu_(std::make_unique<QMenu>()),
      trackingBound_(new QTimer(contextMenu_.get())) {
  contextMenu_->setObjectName("BrindlemuxContextMenu");
  popupMenu_->setObjectName("BrindlemuxMenu");
  trackingBound_->setSingleShot(true);
  trackingBound_->setInterval(kDefaultTrackingBound);
  QObject::connect(trackingBound_, &QTimer::timeout, [this] { stopTracking(); });
  watch(*contextMenu_);
  watch(*popupMenu_);

  // Hosts that speak StatusNotifierItem open only the context menu, on a
  // right click; it has to be Qt's, so that Qt exports it to them.
  tray_->setContextMenu(contextMenu_.get());
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) open(QPoint());
    // On an XEmbed tray Qt has just shown the context menu, and this does
    // nothing; a host that does not draw menus itself asks for one so.
    if (reason == QSystemTrayIcon::Context) open(QCursor::pos());
  });
}

QtStatusItem::~QtStatusItem() {
  tray_->hide();
  tray_->setContextMenu(nullptr);
  if (tracking_) loop_.setTracking(false);
}

void QtStatusItem::watch(QMenu& menu) {
  // Emitted before the menu shows: when Qt pops the context menu up on an
  // XEmbed tray, when open() pops its menu up, and when a StatusNotifierItem
  // host asks for the menu over D-Bus.
  QObject::connect(&menu, &QMenu::aboutToShow, [this, &menu] {
    if (std::exchange(prepared_, nullptr) != &menu && !prepare(menu)) {
      // Too late to stop Qt's own popup; take it down before it is used.
      QTimer::singleShot(0, &menu, [&menu] { menu.hide(); });
      return;
    }
    startTracking();
  });
  QObject::connect(&menu, &QMenu::aboutToHide, [this] { closed(); });
  QObject::connect(&menu, &QMenu::triggered, [this] { closed(); });
}

// A host that never says its menu closed still passes on the chosen item,
// which may be in a submenu; each rendering makes new submenus.
void QtStatusItem::watchChoices(QMenu& menu) {
  for (QMenu* submenu : menu.findChildren<QMenu*>()) {
    if (submenu->property("watched").toBool()) continue;
    submenu->setProperty("watched", true);
    QObject::connect(submenu, &QMenu::triggered, [this] { closed(); });
  }
}

void QtStatusItem::closed() {
  // Held-back timers resume after the chosen item's action, which Qt
  // delivers right after the menu hides.
  QTimer::singleShot(0, contextMenu_.get(), [this] {
    if (contextMenu_->isVisible() || popupMenu_->isVisible()) return;
    stopTracking();
    renderCurrent();
  });
}

void QtStatusItem::setMenu(std::shared_ptr<Menu> menu) {
  menu_ = std::move(menu);
  // Once the caller has filled it in.
  QTimer::singleShot(0, contextMenu_.get(), [this] {
    if (!tracking_) renderCurrent();
  });
}

// A StatusNotifierItem host opens on a right click only a menu that already
// has items, and then asks for a fresh one; so between openings the context
// menu holds the menu as it stands.
void QtStatusItem::renderCurrent() {
  if (!menu_) return;
  renderMenu(*menu_, *contextMenu_);
  watchChoices(*contextMenu_);
}

void QtStatusItem::setTrackingBound(std::chrono::milliseconds bound) { trackingBound_->setInterval(bound); }

// Asks the delegate, then renders; false when there is nothing to show.
bool QtStatusItem::prepare(QMenu& target) {
  if (menu_ && menu_->delegate()) menu_->delegate()->menuWillOpen(*menu_);
  if (menu_) {
    renderMenu(*menu_, target);
    watchChoices(target);
  } else {
    target.clear();
  }
  return !target.isEmpty();
}

void QtStatusItem::startTracking() {
  tracking_ = true;
  loop_.setTracking(true);
  // Some hosts never say that their menu closed; recording must not stop for good.
  trackingBound_->start();
}

void QtStatusItem::stopTracking() {
  trackingBound_->stop();
  if (!std::exchange(tracking_, false)) return;
  loop_.setTracking(false);
}

// A menu of its own rather than the context menu, which Qt may have written
// for a StatusNotifierItem host.
void QtStatusItem::open(QPoint at) {
  if (contextMenu_->isVisible() || popupMenu_->isVisible() || !prepare(*popupMenu_)) return;
  if (at.isNull()) {
    const Rect icon = button_->screenGeometry();
    at = icon.width > 0 ? QPoint(static_cast<int>(icon.x), static_cast<int>(icon.y + icon.height)) : QCursor::pos();
  }
  prepared_ = popupMenu_.get();  // aboutToShow comes from inside popup()
  popupMenu_->popup(at);
  prepared_ = nullptr;
}

namespace {

// Titles are shown as written, and no letter of them becomes a key that
// chooses the item (a stray "c" must not clear the history). In DBusMenu
// labels, which Qt writes for a StatusNotifierItem host (`exported`), "_"
// marks a mnemonic and "&" is text; Qt 6.4 turns the first "&" into "_" and
// leaves "_" unescaped. So an exported title gets its "_" doubled and, when it
// holds a "&", a leading "&" before a zero-width space: the mnemonic falls on
// a character no key types, and the title's own "&" stay as they are.
QString menuText(QString title, bool exported) {
  if (!exported) return title.replace('&', QLatin1String("&&"));
  title.replace('_', QLatin1String("__"));
  return title.contains('&') ? title.prepend(QStringLiteral("&\u200B")) : title;
}

void renderInto(const Menu& menu, QMenu& target, bool exported) {
  KeyEquivalents::installOn(target);
  target.clear();
  for (auto* submenu : target.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) submenu->deleteLater();
  for (const MenuItem& item : menu.items()) {
    if (item.isSeparator()) {
      target.addSeparator();
      continue;
    }
    const auto& styled = item.attributedTitle();
    auto* action = target.addAction(menuText(QString::fromStdString(styled ? styled->text : item.title()), exported));
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
      // Qt 6 gives a submenu its item's text as title(); its own title is
      // kept where assistive technology reads a popup's name.
      const QString submenuTitle = QString::fromStdString(item.submenu()->title());
      auto* submenu = new QMenu(submenuTitle, &target);
      submenu->setWindowTitle(submenuTitle);
      submenu->setAccessibleName(submenuTitle);
      renderInto(*item.submenu(), *submenu, exported);
      action->setMenu(submenu);
    }
    if (item.hasAction()) {
      QObject::connect(action, &QAction::triggered, [sender = item] { sender.action()(sender); });
    }
  }
}

}  // namespace

void renderMenu(const Menu& menu, QMenu& target) { renderInto(menu, target, target.platformMenu() != nullptr); }

std::shared_ptr<StatusItem> QtStatusBar::statusItemWithLength(double) { return std::make_shared<QtStatusItem>(loop_); }

}  // namespace bm::qt
