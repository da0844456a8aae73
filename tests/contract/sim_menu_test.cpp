#include <gtest/gtest.h>

#include <any>

#include "platform/sim/sim_platform.h"

// The simulated menu's own rules, beyond what the menu contract asks of
// every platform: choosing by title, opening twice, what a choice does.
namespace bm::sim {
namespace {

class CountingDelegate : public MenuDelegate {
 public:
  void menuWillOpen(Menu&) override { ++openings; }
  int openings = 0;
};

class SimMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    menu->setDelegate(&delegate);
    item->setMenu(menu);
  }
  MenuItem& add(Menu& into, const std::string& title, int represented) {
    auto& added = into.addItem(MenuItem(title, [this](const MenuItem& sender) {
      log.push_back(sender.title() + " " + std::to_string(std::any_cast<int>(sender.representedObject())));
    }, ""));
    added.setRepresentedObject(represented);
    return added;
  }

  SimWorld world;
  SimPlatform platform{world};
  std::shared_ptr<StatusItem> item = platform.systemStatusBar().statusItemWithLength(StatusBar::kVariableLength);
  std::shared_ptr<Menu> menu = std::make_shared<Menu>();
  CountingDelegate delegate;
  std::vector<std::string> log;
};

TEST_F(SimMenuTest, ChoosingByTitleTakesTheOneItemThatCanBeChosen) {
  add(*menu, "Image", 1);
  add(*menu, "Image", 2);
  add(*menu, "Empty", 3).setEnabled(false);
  auto more = std::make_shared<Menu>("More");
  add(*more, "Empty", 4);
  add(*more, "older", 5);
  menu->addItem(MenuItem("More", {}, "")).setSubmenu(more);
  auto locked = std::make_shared<Menu>("Locked");
  add(*locked, "hidden", 6);
  auto& lockedItem = add(*menu, "Locked", 7);
  lockedItem.setSubmenu(locked);
  lockedItem.setEnabled(false);

  const struct {
    const char* title;
    const char* expected;  // null: refused
  } cases[] = {
      {"Image", nullptr},    // two can be chosen: refused
      {"Empty", "Empty 4"},  // the disabled one does not count
      {"older", "older 5"},  // through a submenu item without action
      {"hidden", nullptr},   // behind a disabled submenu item
      {"More", nullptr},     // it opens its submenu
      {"Locked", nullptr},   // disabled, and it would open a submenu anyway
      {"missing", nullptr},
  };
  for (const auto& [title, expected] : cases) {
    SCOPED_TRACE(title);
    log.clear();
    ASSERT_TRUE(platform.openMenu());
    EXPECT_EQ(platform.chooseMenuItem(title), expected != nullptr);
    EXPECT_EQ(log, expected ? std::vector<std::string>{expected} : std::vector<std::string>{});
    EXPECT_EQ(platform.shownMenu() != nullptr, expected == nullptr);  // a refusal leaves the menu open
  }
}

TEST_F(SimMenuTest, NothingCanBeChosenFromAClosedMenu) {
  add(*menu, "Quit", 0);
  EXPECT_FALSE(platform.chooseMenuItem("Quit"));
  EXPECT_FALSE(platform.chooseMenuItem({0}));
  ASSERT_TRUE(platform.openMenu());
  platform.closeMenu();
  EXPECT_FALSE(platform.chooseMenuItem({0}));
  EXPECT_TRUE(log.empty());
}

TEST_F(SimMenuTest, AnOpenMenuIsNotAnnouncedAgainAndShowsWhatItShowedAtOpening) {
  add(*menu, "before", 1);
  auto more = std::make_shared<Menu>("More");
  add(*more, "older", 2);
  menu->addItem(MenuItem("More", {}, "")).setSubmenu(more);
  ASSERT_TRUE(platform.openMenu());
  add(*menu, "after", 3);
  add(*more, "added to the submenu", 4);
  ASSERT_TRUE(platform.openMenu());  // already open
  EXPECT_EQ(delegate.openings, 1);
  ASSERT_TRUE(platform.shownMenu());
  EXPECT_EQ(platform.shownMenu()->items().size(), 2u);
  EXPECT_FALSE(platform.chooseMenuItem("after"));
  EXPECT_FALSE(platform.chooseMenuItem("added to the submenu"));

  platform.closeMenu();
  ASSERT_TRUE(platform.openMenu());
  EXPECT_EQ(delegate.openings, 2);
  EXPECT_TRUE(platform.chooseMenuItem("after"));
  ASSERT_TRUE(platform.openMenu());
  EXPECT_TRUE(platform.chooseMenuItem("added to the submenu"));
  EXPECT_EQ(log, (std::vector<std::string>{"after 3", "added to the submenu 4"}));
}

TEST_F(SimMenuTest, AChoiceClosesTheMenuRunsTheActionThenTheHeldBackTimers) {
  std::vector<std::string> order;
  menu->addItem(MenuItem("Clear", [&](const MenuItem&) {
    order.push_back(platform.shownMenu() || platform.simMainLoop().isTracking() ? "action, menu open" : "action");
  }, ""));
  platform.mainLoop().scheduleTimer(0.5, true, [&](Timer&) { order.push_back("poll"); });
  ASSERT_TRUE(platform.openMenu());
  platform.advance(2);
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(platform.chooseMenuItem({0}));
  EXPECT_EQ(order, (std::vector<std::string>{"action", "poll"}));
}

}  // namespace
}  // namespace bm::sim
