#include <gtest/gtest.h>

#include "support/sim_app.h"

namespace bm {
namespace {

class PasteboardMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }
  std::int64_t lastChangeCount() { return app.world.defaults.integerForKey("LastChangeCount"); }

  test::SimApp app;
  sim::SimPasteboard& pasteboard = app.world.pasteboard;
  sim::SimUserDefaults& defaults = app.world.defaults;
};

TEST_F(PasteboardMonitorTest, AChangeIsRecordedOnceAsTheFirstWriteOfItsCheck) {
  pasteboard.reportsChanges = false;  // the poll alone
  pasteboard.copyText("hello");
  const size_t before = defaults.writes().size();
  app.advance(0.5);
  ASSERT_GT(defaults.writes().size(), before);
  EXPECT_EQ(defaults.writes()[before], (std::pair<std::string, std::string>{"LastChangeCount", "1"}));

  const size_t after = defaults.writes().size();
  app.advance(5);  // ten more polls, no change
  EXPECT_EQ(defaults.writes().size(), after);
}

TEST_F(PasteboardMonitorTest, APollWithoutAChangeReadsTheStoredCountOnlyAndWritesNothing) {
  pasteboard.copyText("x");
  app.advance(0.5);
  const size_t reads = defaults.readCount(), writes = defaults.writes().size();
  app.advance(0.5);
  EXPECT_EQ(defaults.readCount(), reads + 1);
  EXPECT_EQ(defaults.writes().size(), writes);
}

TEST_F(PasteboardMonitorTest, OnlyEqualityCountsAsNoChange) {
  for (std::int64_t stored : {std::int64_t{-3}, std::int64_t{0}, std::int64_t{41}, std::int64_t{1} << 40}) {
    pasteboard.setChangeCount(7);
    defaults.setInteger("LastChangeCount", stored);
    app.advance(0.5);
    EXPECT_EQ(lastChangeCount(), 7) << stored;
  }
  const size_t writes = defaults.writes().size();
  app.advance(0.5);
  EXPECT_EQ(defaults.writes().size(), writes);
}

TEST_F(PasteboardMonitorTest, SeveralCopiesBetweenTwoPollsAreOneChange) {
  pasteboard.reportsChanges = false;  // the poll alone
  pasteboard.copyText("a");
  pasteboard.copyText("b");
  pasteboard.copyText("c");
  app.advance(0.5);
  EXPECT_EQ(lastChangeCount(), 3);
  ASSERT_EQ(app.delegate().clipboardHistory.size(), 1u);
  EXPECT_EQ(std::get<TextContent>(app.delegate().clipboardHistory[0].content).text(), "c");
}

TEST_F(PasteboardMonitorTest, AnOpenMenuHoldsPollsAndReportedChangesBackUntilItCloses) {
  ASSERT_TRUE(app.platform().openMenu());
  pasteboard.copyText("copied with the menu open");
  app.advance(3);
  EXPECT_EQ(lastChangeCount(), 0);
  app.platform().closeMenu();
  EXPECT_EQ(lastChangeCount(), 1);
  // The held poll and the held report found one change: one entry.
  EXPECT_EQ(app.delegate().clipboardHistory.size(), 1u);
}

// Each reported change is checked as soon as the current event is done, so
// copies made faster than the poll are each kept; reports that come before
// the posted check runs share it.
TEST_F(PasteboardMonitorTest, ReportedChangesAreCheckedAtOnceSoABurstIsKeptWhole) {
  const auto checks = [&] {
    return std::count_if(defaults.writes().begin(), defaults.writes().end(),
                         [](const auto& write) { return write.first == "LastChangeCount"; });
  };
  for (int i = 0; i < 20; ++i) {
    pasteboard.copyText("line " + std::to_string(i));
    app.advance(0.025);
  }
  EXPECT_EQ(app.delegate().clipboardHistory.size(), 20u);
  EXPECT_EQ(checks(), 20);

  const size_t pending = app.platform().simMainLoop().pendingCount();
  pasteboard.copyText("a");
  pasteboard.copyText("b");
  EXPECT_EQ(app.platform().simMainLoop().pendingCount(), pending + 1);  // one posted check for both reports
  app.advance(0);
  EXPECT_EQ(checks(), 21);
  EXPECT_EQ(std::get<TextContent>(app.delegate().clipboardHistory[0].content).text(), "b");
  app.advance(1);  // the polls find nothing more
  EXPECT_EQ(checks(), 21);
}

TEST_F(PasteboardMonitorTest, WhereChangesAreNotReportedTheyWaitForThePoll) {
  pasteboard.reportsChanges = false;
  app.advance(0.3);  // between two polls
  pasteboard.copyText("unreported");
  app.advance(0.1);
  EXPECT_EQ(lastChangeCount(), 0);
  app.advance(0.1);
  EXPECT_EQ(lastChangeCount(), 1);
}

TEST_F(PasteboardMonitorTest, AChangeCancelsAPendingPreviewTimer) {
  bool fired = false;
  auto timer = app.platform().mainLoop().scheduleTimer(5, false, [&](Timer&) { fired = true; });
  app.delegate().previewTimer = timer;
  app.advance(1);
  pasteboard.copyNothing();  // a change that yields no entry cancels it too
  app.advance(0.5);
  EXPECT_FALSE(app.delegate().previewTimer);
  EXPECT_FALSE(timer->isValid());
  app.advance(10);
  EXPECT_FALSE(fired);
}

TEST_F(PasteboardMonitorTest, NoChangeLeavesAPendingPreviewTimerAlone) {
  auto timer = app.platform().mainLoop().scheduleTimer(5, false, [](Timer&) {});
  app.delegate().previewTimer = timer;
  app.advance(2);
  EXPECT_EQ(app.delegate().previewTimer, timer);
  EXPECT_TRUE(timer->isValid());
}

}  // namespace
}  // namespace bm
