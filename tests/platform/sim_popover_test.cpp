#include <gtest/gtest.h>

#include "platform/sim/sim_platform.h"

namespace bm::sim {
namespace {

TEST(SimPopoverTest, RecordsWhatItShowedAndWhenItClosedOnTheVirtualClock) {
  SimWorld world;
  SimPlatform platform(world);
  SimStatusButton button;
  auto transient = platform.makePopover();
  auto pinned = platform.makePopover();
  transient->setContentSize({200, 200});
  transient->setBehavior(PopoverBehavior::transient);
  transient->setImage(Image::systemSymbol("x", ""), ImageScaling::proportionallyUpOrDown);
  transient->showRelativeTo(button.bounds(), button, RectEdge::minY);
  pinned->showRelativeTo(button.bounds(), button, RectEdge::minY);
  const Date shownAt = platform.mainLoop().now();

  platform.advance(2);
  platform.clickElsewhere();  // only the transient one closes
  EXPECT_FALSE(transient->isShown());
  EXPECT_TRUE(pinned->isShown());

  const auto& record = *platform.popovers().at(0);
  EXPECT_EQ(record.contentSize, (Size{200, 200}));
  EXPECT_EQ(record.scaling, ImageScaling::proportionallyUpOrDown);
  EXPECT_EQ(record.anchor, button.bounds());
  EXPECT_EQ(record.edge, RectEdge::minY);
  EXPECT_EQ(record.shownAt, shownAt);
  EXPECT_EQ(record.closedAt->secondsSinceReferenceDate, shownAt.secondsSinceReferenceDate + 2);

  pinned->close();
  pinned->close();  // closing twice keeps the first time
  EXPECT_EQ(platform.popovers().at(1)->closedAt, record.closedAt);
}

}  // namespace
}  // namespace bm::sim
