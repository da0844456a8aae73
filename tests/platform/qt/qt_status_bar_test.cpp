#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

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
  ASSERT_EQ(actions[5]->menu()->actions().size(), 1);
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
  QMenu* shownMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* candidate = qobject_cast<QMenu*>(widget); candidate && candidate->isVisible()) return candidate;
    return nullptr;
  }

  QtMainLoop loop;
  QtStatusBar bar{loop};
  std::shared_ptr<StatusItem> item = bar.statusItemWithLength(StatusBar::kVariableLength);
  std::shared_ptr<Menu> menu = std::make_shared<Menu>();
  CountingDelegate delegate;
  int polls = 0;
};

TEST_F(QtStatusItemTest, TheMenuIsRebuiltBeforeEveryOpeningAndHoldsTimersBackWhileShown) {
  ASSERT_TRUE(item->button());
  EXPECT_EQ(item->button()->bounds().width, 22);
  for (int opening = 1; opening <= 2; ++opening) {
    static_cast<QtStatusItem&>(*item).open(QPoint(10, 10));
    EXPECT_EQ(delegate.openings, opening);
    QMenu* shown = shownMenu();
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->actions().size(), 1);
    EXPECT_EQ(shown->actions()[0]->text().toStdString(), "opened " + std::to_string(opening));
    const int before = polls;
    test::pump(80);
    EXPECT_EQ(polls, before);  // held back while open
    shown->hide();
    EXPECT_TRUE(test::pump(500, [&] { return polls > before; }));
  }
}

TEST_F(QtStatusItemTest, AnEmptyMenuIsNotShownAndTimersGoOn) {
  delegate.leaveEmpty = true;
  static_cast<QtStatusItem&>(*item).open(QPoint(10, 10));
  EXPECT_EQ(delegate.openings, 1);
  EXPECT_FALSE(shownMenu());
  const int before = polls;
  EXPECT_TRUE(test::pump(500, [&] { return polls > before + 2; }));
}

}  // namespace
}  // namespace bm::qt
