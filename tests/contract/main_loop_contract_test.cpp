#include <gtest/gtest.h>

#include "contract/implementation_names.h"
#include "contract/main_loop_adaptors.h"

// What the core relies on from every MainLoop, run against each platform.
// Periods are tens of milliseconds: virtual on the simulated platform, real
// on Qt's event loop.
namespace bm::contract {
namespace {

template <typename Adaptor>
class MainLoopContract : public ::testing::Test {
 protected:
  std::shared_ptr<Timer> counting(double interval, bool repeats, int& fires) {
    return platform.loop().scheduleTimer(interval, repeats, [&fires](Timer&) { ++fires; });
  }
  Adaptor platform;
};

using Implementations = ::testing::Types<SimMainLoopAdaptor, QtMainLoopAdaptor>;
TYPED_TEST_SUITE(MainLoopContract, Implementations, ImplementationNames);

TYPED_TEST(MainLoopContract, ATimerDueWhileTheMenuIsShownFiresOnceWhenItCloses) {
  for (const bool repeats : {true, false}) {
    SCOPED_TRACE(repeats ? "repeating" : "one-shot");
    int fires = 0;
    auto timer = this->counting(0.02, repeats, fires);
    this->platform.setMenuShown(true);
    this->platform.advance(0.15);  // several periods
    EXPECT_EQ(fires, 0);
    this->platform.setMenuShown(false);
    EXPECT_EQ(fires, 1);
    EXPECT_EQ(timer->isValid(), repeats);
    if (repeats) {
      EXPECT_TRUE(this->platform.advanceUntil(1.0, [&] { return fires >= 2; }));  // and goes on
      timer->invalidate();
    } else {
      this->platform.advance(0.1);
      EXPECT_EQ(fires, 1);
    }
  }
}

TYPED_TEST(MainLoopContract, ATimerNotYetDueWhenTheMenuClosesWaitsForItsTime) {
  int fires = 0;
  auto timer = this->counting(0.25, false, fires);
  this->platform.setMenuShown(true);
  this->platform.advance(0.02);
  this->platform.setMenuShown(false);
  EXPECT_EQ(fires, 0);
  EXPECT_TRUE(this->platform.advanceUntil(2.0, [&] { return fires == 1; }));
}

TYPED_TEST(MainLoopContract, DispatchedBlocksRunWhileTheMenuIsShown) {
  int fires = 0;
  auto timer = this->counting(0.02, true, fires);
  bool ran = false;
  this->platform.setMenuShown(true);
  this->platform.loop().dispatchAfter(0.03, [&] { ran = true; });
  EXPECT_FALSE(ran);  // not before its time
  EXPECT_TRUE(this->platform.advanceUntil(1.0, [&] { return ran; }));
  EXPECT_EQ(fires, 0);
  this->platform.setMenuShown(false);
  timer->invalidate();
}

TYPED_TEST(MainLoopContract, AnInvalidatedTimerNeverFiresEvenWhenDue) {
  // Due and held back by the menu, then invalidated before it closes.
  int held = 0;
  auto heldTimer = this->counting(0.02, true, held);
  // Both due when the menu closes: the first one's block stops the second.
  int first = 0, second = 0;
  std::shared_ptr<Timer> secondTimer;
  auto firstTimer = this->platform.loop().scheduleTimer(0.02, false, [&](Timer&) {
    ++first;
    secondTimer->invalidate();
  });
  secondTimer = this->counting(0.02, false, second);
  // Never due at all.
  int early = 0;
  auto earlyTimer = this->counting(0.02, false, early);
  earlyTimer->invalidate();

  this->platform.setMenuShown(true);
  this->platform.advance(0.1);
  heldTimer->invalidate();
  this->platform.setMenuShown(false);
  this->platform.advance(0.1);
  EXPECT_EQ(held, 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(early, 0);
  for (const auto* timer : {&heldTimer, &secondTimer, &earlyTimer}) EXPECT_FALSE((*timer)->isValid());
}

TYPED_TEST(MainLoopContract, RepeatingTimersRunUntilInvalidatedAlsoFromTheirOwnBlock) {
  int fires = 0;
  auto timer = this->counting(0.02, true, fires);
  int runs = 0;
  this->platform.loop().scheduleTimer(0.01, true, [&](Timer& self) {
    if (++runs == 2) self.invalidate();
  });
  ASSERT_TRUE(this->platform.advanceUntil(1.0, [&] { return fires >= 3; }));
  timer->invalidate();
  const int stoppedAt = fires;
  this->platform.advance(0.1);
  EXPECT_EQ(fires, stoppedAt);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(runs, 2);
}

TYPED_TEST(MainLoopContract, OneShotTimersFireOnceAndEndInvalid) {
  int fires = 0;
  auto timer = this->counting(0.02, false, fires);
  EXPECT_TRUE(timer->isValid());
  ASSERT_TRUE(this->platform.advanceUntil(1.0, [&] { return fires == 1; }));
  this->platform.advance(0.1);
  EXPECT_EQ(fires, 1);
  EXPECT_FALSE(timer->isValid());
}

}  // namespace
}  // namespace bm::contract
