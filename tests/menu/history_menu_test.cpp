#include <gtest/gtest.h>

#include "support/history_entries.h"
#include "support/menu_rows.h"
#include "support/sim_app.h"

namespace bm {
namespace {
using Rows = std::vector<std::string>;

class HistoryMenuTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }
  // The menu as it stands after an opening, with `count` text entries "entry 0" (newest) ...
  Rows menuWith(int count) {
    app.delegate().clipboardHistory = test::textHistory(count);
    EXPECT_TRUE(app.platform().openMenu());
    app.platform().closeMenu();
    return test::rows(menu());
  }
  Menu& menu() { return *app.statusItem()->menu(); }

  test::SimApp app;
};

const Rows kPreviewAndCommands = {"---", "# Menu bar preview", "Show always", "[x] Show for 5 seconds", "Hide",
                                  "---", "Clear all history", "Quit [q]"};

Rows operator+(Rows head, const Rows& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(HistoryMenuTest, ShowsTheNewestUnderCurrentAndTheNextTenUnderHistory) {
  struct Case {
    int entries;
    Rows rows;
  };
  const Case cases[] = {
      {0, Rows{"# Current", "Empty (disabled)", "---", "# History", "Empty (disabled)"} + kPreviewAndCommands},
      {1, Rows{"# Current", "entry 0", "---", "# History", "Empty (disabled)"} + kPreviewAndCommands},
      {3, Rows{"# Current", "entry 0", "---", "# History", "entry 1", "entry 2"} + kPreviewAndCommands},
      {11, Rows{"# Current", "entry 0", "---", "# History", "entry 1", "entry 2", "entry 3", "entry 4", "entry 5",
                "entry 6", "entry 7", "entry 8", "entry 9", "entry 10"} +
               kPreviewAndCommands},
      // One more than fits: "1 more items", plural even for one.
      {12, Rows{"# Current", "entry 0", "---", "# History", "entry 1", "entry 2", "entry 3", "entry 4", "entry 5",
                "entry 6", "entry 7", "entry 8", "entry 9", "entry 10", "1 more items > More (1)"} +
               kPreviewAndCommands},
  };
  for (const auto& c : cases) EXPECT_EQ(menuWith(c.entries), c.rows) << c.entries << " entries";
  EXPECT_EQ(menu().items()[14].submenu()->items()[0].title(), "entry 11");
}

TEST_F(HistoryMenuTest, EverythingPastTheEleventhIsInTheOverflowSubmenuAndCanBeReached) {
  for (const int count : {50, 53}) {
    const Rows rows = menuWith(count);
    ASSERT_EQ(rows.size(), 15u + kPreviewAndCommands.size());
    EXPECT_EQ(rows[14], std::to_string(count - 11) + " more items > More (" + std::to_string(count - 11) + ")");
    const auto& more = *menu().items()[14].submenu();
    EXPECT_TRUE(menu().items()[14].isEnabled());  // it opens its submenu
    for (int i = 11; i < count; ++i) {
      const MenuItem& item = more.items()[static_cast<size_t>(i - 11)];
      EXPECT_EQ(item.title(), "entry " + std::to_string(i));
      EXPECT_TRUE(item.isEnabled());
    }
  }
}

TEST_F(HistoryMenuTest, HeadersPlaceholdersAndTheOverflowItemDoNothingWhenChosen) {
  menuWith(12);
  const auto before = app.world.defaults.writes().size();
  ASSERT_TRUE(app.platform().openMenu());
  for (const char* title : {"Current", "History", "Menu bar preview", "1 more items"}) {
    EXPECT_FALSE(app.platform().chooseMenuItem(title)) << title;
  }
  app.platform().closeMenu();
  menuWith(0);
  ASSERT_TRUE(app.platform().openMenu());
  EXPECT_FALSE(app.platform().chooseMenuItem("Empty"));
  app.platform().closeMenu();
  EXPECT_EQ(app.delegate().clipboardHistory.size(), 0u);
  EXPECT_EQ(app.world.defaults.writes().size(), before);
}

TEST_F(HistoryMenuTest, EachOpeningBuildsTheMenuAfreshFromTheHistoryOfThatMoment) {
  const Rows first = menuWith(13);
  ASSERT_TRUE(app.platform().openMenu());
  app.platform().closeMenu();
  EXPECT_EQ(test::rows(menu()), first);  // nothing of the first build left behind

  // Each entry item carries a copy of its entry as it was at the build.
  auto& history = app.delegate().clipboardHistory;
  const ClipboardItem newest = history[0];
  history.erase(history.begin());
  const auto* carried = std::any_cast<ClipboardItem>(&menu().items()[1].representedObject());
  ASSERT_NE(carried, nullptr);
  test::expectSameEntries({*carried}, {newest});
  EXPECT_EQ(std::any_cast<PreviewStyle>(&menu().items()[1].representedObject()), nullptr);

  ASSERT_TRUE(app.platform().openMenu());
  app.platform().closeMenu();
  EXPECT_EQ(menu().items()[1].title(), "entry 1");
  EXPECT_EQ(test::rows(menu())[14], "1 more items > More (1)");
  EXPECT_EQ(first[14], "2 more items > More (2)");
}

TEST_F(HistoryMenuTest, StyleItemsCarryTheirStyleAndExactlyOneCheckMark) {
  for (const PreviewStyle style : allCases<PreviewStyle>()) {
    app.delegate().previewStyle = style;
    app.delegate().rebuildMenu();
    int checked = 0;
    for (const MenuItem& item : menu().items()) {
      const auto* carried = std::any_cast<PreviewStyle>(&item.representedObject());
      if (!carried) continue;
      EXPECT_EQ(item.title(), rawValue(*carried));
      EXPECT_EQ(item.state() == MenuItemState::on, *carried == style);
      checked += item.state() == MenuItemState::on;
    }
    EXPECT_EQ(checked, 1);
  }
}

TEST(HistoryMenuWithoutAButtonTest, ThereIsNoMenuToRebuild) {
  test::SimApp app;
  app.world.statusItemsHaveButtons = false;
  app.launch();
  app.delegate().clipboardHistory = test::textHistory(3);
  app.delegate().rebuildMenu();  // nothing to rebuild, nothing breaks
  EXPECT_FALSE(app.statusItem()->menu());
}

}  // namespace
}  // namespace bm
