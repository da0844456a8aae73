#include <gtest/gtest.h>

#include "platform/qt/qt_main_loop.h"
#include "pump.h"

namespace bm::qt {
namespace {

TEST(QtMainLoopTest, RepeatsUntilInvalidatedAndOneShotsFireOnce) {
  QtMainLoop loop;
  int repeats = 0, once = 0;
  auto repeating = loop.scheduleTimer(0.02, true, [&](Timer&) { ++repeats; });
  auto single = loop.scheduleTimer(0.02, false, [&](Timer&) { ++once; });
  ASSERT_TRUE(test::pump(1000, [&] { return repeats >= 3; }));
  repeating->invalidate();
  const int stoppedAt = repeats;
  test::pump(100);
  EXPECT_EQ(repeats, stoppedAt);
  EXPECT_EQ(once, 1);
  EXPECT_FALSE(single->isValid());
  EXPECT_FALSE(repeating->isValid());
}

TEST(QtMainLoopTest, AnOpenMenuHoldsTimersBackButNotDispatchedBlocks) {
  QtMainLoop loop;
  int polls = 0;
  bool dispatched = false;
  loop.scheduleTimer(0.02, true, [&](Timer&) { ++polls; });
  loop.setTracking(true);
  loop.dispatchAfter(0.03, [&] { dispatched = true; });
  test::pump(150);
  EXPECT_EQ(polls, 0);
  EXPECT_TRUE(dispatched);
  loop.setTracking(false);
  EXPECT_EQ(polls, 1);  // the missed firing, once, at once
}

TEST(QtMainLoopTest, ATimerMayInvalidateItselfFromItsBlock) {
  QtMainLoop loop;
  int runs = 0;
  loop.scheduleTimer(0.01, true, [&](Timer& timer) {
    if (++runs == 2) timer.invalidate();
  });
  test::pump(200);
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace bm::qt
