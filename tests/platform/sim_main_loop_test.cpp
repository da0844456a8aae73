#include <gtest/gtest.h>

#include "platform/sim/sim_main_loop.h"

namespace bm::sim {
namespace {

class SimMainLoopTest : public ::testing::Test {
 protected:
  double elapsed() const { return clock.secondsSinceReferenceDate; }

  Date clock{0};
  SimMainLoop loop{clock};
  std::vector<std::pair<std::string, double>> log;
  auto record(std::string name) {
    return [this, name](auto&&...) { log.emplace_back(name, elapsed()); };
  }
};

TEST_F(SimMainLoopTest, RunsTimersAndBlocksInTimeOrderOnTheVirtualClock) {
  loop.scheduleTimer(0.5, true, record("poll"));
  loop.scheduleTimer(1.2, false, record("once"));
  loop.dispatchAfter(0.5, record("block"));
  loop.advance(1.6);
  const std::vector<std::pair<std::string, double>> expected = {
      {"poll", 0.5}, {"block", 0.5}, {"poll", 1.0}, {"once", 1.2}, {"poll", 1.5}};
  EXPECT_EQ(log, expected);
    EXPECT_EQ(loop.now().secondsSinceReferenceDate, 1.6);
}

TEST_F(SimMainLoopTest, InvalidatedTimersNeverRunAndOneShotsEndInvalid) {
  auto cancelled = loop.scheduleTimer(1, false, record("cancelled"));
  auto once = loop.scheduleTimer(0.5, false, record("once"));
  loop.advance(0.7);
  cancelled->invalidate();
  loop.advance(5);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].first, "once");
  EXPECT_FALSE(once->isValid());
  EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(SimMainLoopTest, MenuTrackingHoldsDefaultModeTimersBackButNotBlocks) {
  loop.scheduleTimer(0.5, true, record("poll"));
  loop.dispatchAfter(1.0, record("block"));
  loop.setTracking(true);
  loop.advance(3.2);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], (std::pair<std::string, double>{"block", 1.0}));

  // The late timer fires once when tracking ends, then keeps its half-second grid.
  loop.setTracking(false);
  loop.advance(0);
  loop.advance(0.3);
  const std::vector<std::pair<std::string, double>> expected = {{"block", 1.0}, {"poll", 3.2}, {"poll", 3.5}};
  EXPECT_EQ(log, expected);
}

}  // namespace
}  // namespace bm::sim
