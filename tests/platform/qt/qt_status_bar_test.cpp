#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <chrono>
#include <functional>

#include "shared/qt_image_codec.h"
#include "platform/qt/qt_main_loop.h"
#include "platform/qt/qt_status_bar.h"
#include "pump.h"

namespace bm::qt {
namespace {

Image redSquare() {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::red);
  return fromQImage(image);
}

TEST(RenderMenuTest, EveryItemSettingReachesTheQtMenu) {
  std::vector<std::pair<std::string, int>> chosen;
  auto record = [&](const MenuItem& sender) {
    chosen.emplace_back(sender.title(), std::any_cast<int>(sender.representedObject()));
  };

  Menu menu;
  auto& header = menu.addItem(MenuItem("Current", {}, ""));
  header.setAttributedTitle({"Current", {TextStyle::FontSize::small, TextStyle::FontWeight::semibold}});
  auto& placeholder = menu.addItem(MenuItem("Empty", {}, ""));
  placeholder.setEnabled(false);
  menu.addItem(MenuItem::separatorItem());
  auto& entry = menu.addItem(MenuItem("Image", record, ""));
  entry.setRepresentedObject(42);
  entry.setImage(redSquare());
  auto& style = menu.addItem(MenuItem("Hide", record, ""));
  style.setState(MenuItemState::on);
  style.setRepresentedObject(7);
  auto more = std::make_shared<Menu>("More");
  more->addItem(MenuItem("older", record, "")).setRepresentedObject(11);
  menu.addItem(MenuItem("1 more items", {}, "")).setSubmenu(more);
  menu.addItemWithTitle("Quit", record, "q").setRepresentedObject(0);

  QMenu target;
  renderMenu(menu, target);
  const auto actions = target.actions();
  ASSERT_EQ(actions.size(), 7);
  EXPECT_EQ(actions[0]->text(), "Current");
  EXPECT_EQ(actions[0]->font().weight(), QFont::DemiBold);
  EXPECT_LT(actions[0]->font().pointSizeF(), target.font().pointSizeF());
  EXPECT_FALSE(actions[0]->isEnabled());  // no action: cannot be chosen
  EXPECT_FALSE(actions[1]->isEnabled());
  EXPECT_TRUE(actions[2]->isSeparator());
  EXPECT_TRUE(actions[3]->isEnabled());
  EXPECT_FALSE(actions[3]->icon().isNull());
  EXPECT_TRUE(actions[4]->isChecked());
  EXPECT_FALSE(actions[3]->isChecked());
  ASSERT_TRUE(actions[5]->menu());
  EXPECT_EQ(actions[5]->text(), "1 more items");
  EXPECT_TRUE(actions[5]->isEnabled());  // a submenu opens without an action
  ASSERT_EQ(actions[5]->menu()->actions().size(), 1);
  EXPECT_EQ(actions[5]->menu()->windowTitle(), "More");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(actions[5]->menu())->text(QAccessible::Name), "More");
  EXPECT_EQ(actions[6]->shortcut(), QKeySequence("Ctrl+Q"));

  actions[3]->trigger();
  actions[5]->menu()->actions()[0]->trigger();
  actions[6]->trigger();
  const std::vector<std::pair<std::string, int>> expected = {{"Image", 42}, {"older", 11}, {"Quit", 0}};
  EXPECT_EQ(chosen, expected);

  // Rendering again replaces everything, submenus included.
  renderMenu(menu, target);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(target.actions().size(), 7);
  EXPECT_EQ(target.findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
}

TEST(RenderMenuTest, AssistiveTechnologyReadsNamesAndStates) {
  Menu menu;
  menu.addItem(MenuItem("History", {}, ""));
  menu.addItem(MenuItem("Tom & Jerry", [](const MenuItem&) {}, ""));
  menu.addItem(MenuItem::separatorItem());
  menu.addItem(MenuItem("Show always", [](const MenuItem&) {}, "")).setState(MenuItemState::on);
  menu.addItem(MenuItem("Hide", [](const MenuItem&) {}, ""));
  menu.addItemWithTitle("Quit", [](const MenuItem&) {}, "q");

  QMenu target;
  renderMenu(menu, target);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&target);
  ASSERT_TRUE(accessible);
  struct Expected {
    QString name;
    bool enabled;
    bool checked;
  };
  const std::vector<Expected> expected = {
      {"History", false, false}, {"Tom & Jerry", true, false}, {"", false, false},
      {"Show always", true, true}, {"Hide", true, false},      {"Quit", true, false}};
  ASSERT_EQ(accessible->childCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < accessible->childCount(); ++i) {
    SCOPED_TRACE(i);
    QAccessibleInterface* child = accessible->child(i);
    EXPECT_EQ(child->text(QAccessible::Name), expected[i].name);
    EXPECT_EQ(!child->state().disabled, expected[i].enabled);
    EXPECT_EQ(bool(child->state().checked), expected[i].checked);
  }
  // An "&" in a title is text, not a mnemonic marker.
  EXPECT_EQ(target.actions()[1]->iconText(), "Tom & Jerry");
}

TEST(RenderMenuTest, KeyEquivalentsWorkWhileTheMenuIsOpen) {
  std::vector<std::string> chosen;
  auto record = [&](const MenuItem& sender) { chosen.push_back(sender.title()); };
  Menu menu;
  menu.addItemWithTitle("Quit", record, "q");
  menu.addItemWithTitle("Off", record, "d").setEnabled(false);
  auto more = std::make_shared<Menu>("More");
  more->addItemWithTitle("Older", record, "o");
  menu.addItem(MenuItem("1 more items", {}, "")).setSubmenu(more);

  QMenu target;
  renderMenu(menu, target);
  renderMenu(menu, target);  // as at every opening
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QMenu* submenu = target.actions()[2]->menu();
  ASSERT_TRUE(submenu);
  struct Case {
    const char* name;
    QMenu* pressedIn;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::vector<std::string> chosen;
  };
  const std::vector<Case> cases = {
      {"its own", &target, Qt::Key_Q, Qt::ControlModifier, {"Quit"}},
      {"the letter alone", &target, Qt::Key_Q, Qt::NoModifier, {}},
      {"a disabled item's", &target, Qt::Key_D, Qt::ControlModifier, {}},
      {"a submenu item's", &target, Qt::Key_O, Qt::ControlModifier, {"Older"}},
      {"pressed in the open submenu", submenu, Qt::Key_Q, Qt::ControlModifier, {"Quit"}},
  };
  for (const Case& press : cases) {
    SCOPED_TRACE(press.name);
    chosen.clear();
    target.popup(QPoint(10, 10));
    if (press.pressedIn == submenu) submenu->popup(QPoint(60, 10));
    QKeyEvent event(QEvent::KeyPress, press.key, press.modifiers);
    QApplication::sendEvent(press.pressedIn, &event);
    EXPECT_EQ(chosen, press.chosen);
    // Choosing closes the menu, as a click does.
    EXPECT_EQ(target.isVisible() || submenu->isVisible(), press.chosen.empty());
    submenu->hide();
    target.hide();
  }
}

class CountingDelegate : public MenuDelegate {
 public:
  void menuWillOpen(Menu& menu) override {
    ++openings;
    menu.removeAllItems();
    if (!leaveEmpty) menu.addItemWithTitle("opened " + std::to_string(openings), [](const MenuItem&) {}, "");
  }
  int openings = 0;
  bool leaveEmpty = false;
};

class QtStatusItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    item->button()->setImage(Image::systemSymbol("clipboard", "Clipboard Manager"));
    menu->setDelegate(&delegate);
    item->setMenu(menu);
    loop.scheduleTimer(0.01, true, [this](Timer&) { ++polls; });
  }
  void TearDown() override {
    if (QMenu* shown = shownMenu()) shown->hide();
  }
  QMenu* shownMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* candidate = qobject_cast<QMenu*>(widget); candidate && candidate->isVisible()) return candidate;
    return nullptr;
  }
  QtStatusItem& tray() { return static_cast<QtStatusItem&>(*item); }
  // True when no poll runs for `ms` milliseconds.
  bool heldBackFor(int ms) {
    const int before = polls;
    test::pump(ms);
    return polls == before;
  }
  bool goesOnWithin(int ms) {
    const int before = polls;
    return test::pump(ms, [&] { return polls > before; });
  }

  QtMainLoop loop;
  QtStatusBar bar{loop};
  std::shared_ptr<StatusItem> item = bar.statusItemWithLength(StatusBar::kVariableLength);
  std::shared_ptr<Menu> menu = std::make_shared<Menu>();
  CountingDelegate delegate;
  int polls = 0;
};

// Every way the menu opens: a left click (open), Qt's own popup of the
// context menu on an XEmbed tray, and a StatusNotifierItem host that asks
// for the menu over D-Bus and draws it itself: one that says when it closed,
// and one that only passes on the chosen item (as Qt delivers it).
struct Opening {
  const char* name;
  std::function<QMenu&(QtStatusItem&)> menu;
  std::function<void(QtStatusItem&)> open;
  std::function<void(QtStatusItem&)> close;
};

const std::vector<Opening>& openings() {
  static const auto popup = [](QtStatusItem& item) -> QMenu& { return item.popupMenu(); };
  static const auto context = [](QtStatusItem& item) -> QMenu& { return item.contextMenu(); };
  static const std::vector<Opening> all = {
      {"left click", popup, [](QtStatusItem& item) { item.open(QPoint()); },
       [](QtStatusItem& item) { item.popupMenu().hide(); }},
      {"tray context menu", context, [](QtStatusItem& item) { item.contextMenu().popup(QPoint(10, 10)); },
       [](QtStatusItem& item) { item.contextMenu().hide(); }},
      {"menu host", context, [](QtStatusItem& item) { emit item.contextMenu().aboutToShow(); },
       [](QtStatusItem& item) { emit item.contextMenu().aboutToHide(); }},
      {"menu host passing on a choice", context, [](QtStatusItem& item) { emit item.contextMenu().aboutToShow(); },
       [](QtStatusItem& item) { item.contextMenu().actions()[0]->trigger(); }},
  };
  return all;
}

TEST_F(QtStatusItemTest, TheMenuIsRebuiltBeforeEveryOpeningAndHoldsTimersBackWhileOpen) {
  ASSERT_TRUE(item->button());
  EXPECT_EQ(item->button()->bounds().width, 22);
  int expectedOpenings = 0;
  for (const Opening& way : openings()) {
    SCOPED_TRACE(way.name);
    for (int again = 0; again < 2; ++again) {
      way.open(tray());
      EXPECT_EQ(delegate.openings, ++expectedOpenings);  // told exactly once
      const QMenu& opened = way.menu(tray());
      ASSERT_EQ(opened.actions().size(), 1);
      EXPECT_EQ(opened.actions()[0]->text().toStdString(), "opened " + std::to_string(expectedOpenings));
      EXPECT_TRUE(heldBackFor(80));
      way.close(tray());
      EXPECT_TRUE(goesOnWithin(500));
    }
  }
}

TEST_F(QtStatusItemTest, AnEmptyMenuIsNeverShownAndTimersGoOn) {
  delegate.leaveEmpty = true;
  for (const Opening& way : openings()) {
    if (std::string(way.name) == "menu host passing on a choice") continue;  // nothing to choose
    SCOPED_TRACE(way.name);
    const int before = delegate.openings;
    way.open(tray());
    EXPECT_EQ(delegate.openings, before + 1);
    test::pump(50);
    EXPECT_FALSE(shownMenu());
    EXPECT_TRUE(goesOnWithin(500));
  }
}

TEST_F(QtStatusItemTest, TimersGoOnAfterABoundWhenTheHostNeverSaysTheMenuClosed) {
  tray().setTrackingBound(std::chrono::milliseconds(300));
  emit tray().contextMenu().aboutToShow();
  EXPECT_TRUE(heldBackFor(200));
  EXPECT_TRUE(goesOnWithin(400));
  EXPECT_FALSE(heldBackFor(100));  // and keep going

  // A menu that does close stops the bound: the next opening gets all of it.
  emit tray().contextMenu().aboutToShow();
  test::pump(200);
  emit tray().contextMenu().aboutToHide();
  EXPECT_TRUE(goesOnWithin(100));
  emit tray().contextMenu().aboutToShow();
  EXPECT_TRUE(heldBackFor(200));
  EXPECT_TRUE(goesOnWithin(400));
}

// A StatusNotifierItem host opens, on a right click, only a menu that
// already has items; it asks for a fresh one afterwards.
TEST_F(QtStatusItemTest, BetweenOpeningsTheContextMenuHoldsTheMenuAsItStands) {
  menu->addItemWithTitle("standing", [](const MenuItem&) {}, "");
  test::pump(20);
  EXPECT_EQ(delegate.openings, 0);
  ASSERT_EQ(tray().contextMenu().actions().size(), 1);
  EXPECT_EQ(tray().contextMenu().actions()[0]->text(), "standing");

  emit tray().contextMenu().aboutToShow();
  EXPECT_EQ(tray().contextMenu().actions()[0]->text(), "opened 1");
  // The chosen item's action changes the menu; the next host sees that.
  tray().contextMenu().actions()[0]->trigger();
  menu->removeAllItems();
  menu->addItemWithTitle("after the choice", [](const MenuItem&) {}, "");
  test::pump(20);
  ASSERT_EQ(tray().contextMenu().actions().size(), 1);
  EXPECT_EQ(tray().contextMenu().actions()[0]->text(), "after the choice");
  EXPECT_EQ(delegate.openings, 1);
}

TEST_F(QtStatusItemTest, ALeftClickOpensTheMenuAtThePointerWhenTheTrayHidesTheIconsPlace) {
  ASSERT_EQ(static_cast<QtStatusButton*>(item->button())->screenGeometry().width, 0);  // as under StatusNotifierItem
  QCursor::setPos(300, 200);
  ASSERT_EQ(QCursor::pos(), QPoint(300, 200));
  tray().open(QPoint());
  QMenu* shown = shownMenu();
  ASSERT_EQ(shown, &tray().popupMenu());
  EXPECT_EQ(shown->geometry().topLeft(), QPoint(300, 200));
}

}  // namespace
}  // namespace bm::qt
