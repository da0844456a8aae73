#include <gtest/gtest.h>

#include "shared/qt_image_codec.h"
#include "support/history_entries.h"
#include "support/menu_rows.h"
#include "support/sim_app.h"

namespace bm {
namespace {

class PreviewTest : public ::testing::Test {
 protected:
  void launch(PreviewStyle style, int entries = 2) {
    app.world.defaults.setString("PreviewStyle", std::string(rawValue(style)));
    app.launch();
    app.delegate().clipboardHistory = test::textHistory(entries);
  }
  std::string title() { return app.statusItem()->simButton()->title(); }
  void choose(PreviewStyle style) {
    ASSERT_TRUE(app.platform().openMenu());
    ASSERT_TRUE(app.platform().chooseMenuItem(std::string(rawValue(style))));
  }
  Image picture() {
    QImage pixels(30, 20, QImage::Format_ARGB32);
    pixels.fill(Qt::green);
    return qt::fromQImage(pixels);
  }

  test::SimApp app;
};

TEST_F(PreviewTest, EachStyleShowsTheTitleForItsTime) {
  struct Case {
    PreviewStyle style;
    std::string shown;
    std::string afterFiveSeconds;
  };
  const Case cases[] = {
      {PreviewStyle::always, "copied", "copied"},
      {PreviewStyle::temporary, "copied", ""},
      {PreviewStyle::hidden, "", ""},
  };
  for (const auto& c : cases) {
    test::SimApp fresh;
    fresh.world.defaults.setString("PreviewStyle", std::string(rawValue(c.style)));
    fresh.launch();
    EXPECT_EQ(fresh.statusItem()->simButton()->title(), "");  // nothing at launch
    fresh.delegate().updateStatusButton("copied");
    EXPECT_EQ(fresh.statusItem()->simButton()->title(), c.shown) << rawValue(c.style);
    fresh.advance(4.99);
    EXPECT_EQ(fresh.statusItem()->simButton()->title(), c.shown) << rawValue(c.style);
    fresh.advance(0.01);
    EXPECT_EQ(fresh.statusItem()->simButton()->title(), c.afterFiveSeconds) << rawValue(c.style);
    EXPECT_EQ(static_cast<bool>(fresh.delegate().previewTimer), false);
  }
}

TEST_F(PreviewTest, ASecondTemporaryTitleStaysAFullDurationAfterItself) {
  launch(PreviewStyle::temporary);
  app.delegate().updateStatusButton("first");
  app.advance(3);
  const auto firstTimer = app.delegate().previewTimer;
  app.delegate().updateStatusButton("second");
  EXPECT_EQ(title(), "second");
  EXPECT_FALSE(firstTimer->isValid());
  app.advance(4.9);
  EXPECT_EQ(title(), "second");
  app.advance(0.1);
  EXPECT_EQ(title(), "");
  EXPECT_FALSE(app.delegate().previewTimer);
}

TEST_F(PreviewTest, APendingTimerClearsTheTitleWhateverTheStyleHasBecome) {
  launch(PreviewStyle::temporary);
  app.delegate().updateStatusButton("counting down");
  app.advance(2);
  choose(PreviewStyle::always);
  EXPECT_EQ(title(), "entry 0");  // the newest entry, at once
  app.advance(2.99);
  EXPECT_EQ(title(), "entry 0");
  app.advance(0.01);
  EXPECT_EQ(title(), "");  // the old timer still fires
  app.advance(60);
  EXPECT_EQ(title(), "");  // and it stays so until the next change
}

TEST_F(PreviewTest, ChoosingAStyleStoresItRefreshesTheTitleAndMovesTheCheckMark) {
  launch(PreviewStyle::always);
  choose(PreviewStyle::hidden);
  EXPECT_EQ(title(), "");
  EXPECT_EQ(app.world.defaults.stringForKey("PreviewStyle"), "Hide");
  EXPECT_EQ(app.delegate().previewStyle, PreviewStyle::hidden);
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[9], "[x] Hide");

  choose(PreviewStyle::always);
  EXPECT_EQ(title(), "entry 0");
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[7], "[x] Show always");

  // The current style again: stored again, and in temporary mode the countdown restarts.
  choose(PreviewStyle::temporary);
  app.advance(4);
  choose(PreviewStyle::temporary);
  EXPECT_EQ(title(), "entry 0");
  app.advance(4);
  EXPECT_EQ(title(), "entry 0");
  app.advance(1);
  EXPECT_EQ(title(), "");

  // It survives a restart, with the check mark but no title.
  app.restart();
  EXPECT_EQ(app.delegate().previewStyle, PreviewStyle::temporary);
  EXPECT_EQ(title(), "");
  ASSERT_TRUE(app.platform().openMenu());
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[8], "[x] Show for 5 seconds");
}

TEST_F(PreviewTest, WithAnEmptyHistoryAStyleChoiceLeavesTheTitleAsItIs) {
  launch(PreviewStyle::always, 0);
  app.delegate().updateStatusButton("left over");
  choose(PreviewStyle::hidden);
  EXPECT_EQ(title(), "left over");
  choose(PreviewStyle::temporary);
  EXPECT_EQ(title(), "left over");
  EXPECT_FALSE(app.delegate().previewTimer);
  EXPECT_EQ(app.world.defaults.stringForKey("PreviewStyle"), "Show for 5 seconds");
}

TEST_F(PreviewTest, ASenderWithoutAStyleChangesNothing) {
  launch(PreviewStyle::always);
  app.delegate().rebuildMenu();
  app.delegate().clipboardHistory.clear();  // a rebuild would show it
  const auto writes = app.world.defaults.writes().size();
  for (std::any object : {std::any(), std::any(std::string("Hide")), std::any(2)}) {
    MenuItem sender("Hide", nullptr, "");
    sender.setRepresentedObject(object);
    app.delegate().setPreviewStyle(sender);
  }
  EXPECT_EQ(app.delegate().previewStyle, PreviewStyle::always);
  EXPECT_EQ(app.world.defaults.writes().size(), writes);
  EXPECT_EQ(app.statusItem()->menu()->items()[1].title(), "entry 0");  // not rebuilt
}

TEST_F(PreviewTest, AnImagePopoverOpensUnderTheIconAndClosesFiveSecondsLater) {
  launch(PreviewStyle::always);
  app.delegate().showImagePreview(picture());
  app.advance(1);
  app.delegate().showImagePreview(picture());  // a new popover for every capture
  ASSERT_EQ(app.platform().popovers().size(), 2u);
  const auto& first = *app.platform().popovers()[0];
  EXPECT_EQ(first.contentSize, (Size{200, 200}));
  EXPECT_EQ(first.scaling, ImageScaling::proportionallyUpOrDown);
  EXPECT_EQ(first.behavior, PopoverBehavior::transient);
  EXPECT_EQ(first.anchor, app.statusItem()->button()->bounds());
  EXPECT_EQ(first.edge, RectEdge::minY);
  EXPECT_EQ(first.image.size(), (Size{30, 20}));
  app.advance(4);
  EXPECT_FALSE(first.isShown());
  EXPECT_EQ(first.closedAt->secondsSinceReferenceDate - first.shownAt->secondsSinceReferenceDate, 5.0);
  EXPECT_TRUE(app.platform().popovers()[1]->isShown());
  app.platform().clickElsewhere();  // transient
  EXPECT_FALSE(app.platform().popovers()[1]->isShown());
}

TEST_F(PreviewTest, HiddenShowsNoPopover) {
  launch(PreviewStyle::hidden);
  app.delegate().showImagePreview(picture());
  EXPECT_TRUE(app.platform().popovers().empty() || !app.platform().popovers()[0]->shownAt);
}

TEST(PreviewWithoutAButtonTest, TheTimerIsStillScheduledButNoPopoverShows) {
  test::SimApp app;
  app.world.statusItemsHaveButtons = false;
  app.launch();
  app.delegate().updateStatusButton("no button");
  ASSERT_TRUE(app.delegate().previewTimer);
  app.advance(5);
  EXPECT_FALSE(app.delegate().previewTimer);
  app.delegate().showImagePreview(qt::fromQImage(QImage(4, 4, QImage::Format_ARGB32)));
  for (const auto& popover : app.platform().popovers()) EXPECT_FALSE(popover->shownAt);
}

}  // namespace
}  // namespace bm
