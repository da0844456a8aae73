#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>

#include "shared/qt_image_codec.h"
#include "platform/qt/qt_main_loop.h"
#include "platform/qt/qt_popover.h"
#include "platform/qt/qt_status_bar.h"

namespace bm::qt {
namespace {

class QtPopoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QImage wide(400, 100, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    popover.setContentSize({200, 200});
    popover.setImage(fromQImage(wide), ImageScaling::proportionallyUpOrDown);
  }
  QWidget* window() {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->objectName() == "BrindlemuxPopover" && widget->isVisible()) return widget;
    return nullptr;
  }
  void show() { popover.showRelativeTo(button.bounds(), button, RectEdge::minY); }
  void clickOn(QWidget* widget) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
  }

  QtMainLoop loop;
  QtStatusBar bar{loop};
  std::shared_ptr<StatusItem> item = bar.statusItemWithLength(StatusBar::kVariableLength);
  StatusButton& button = *item->button();
  QtPopover popover;
};

TEST_F(QtPopoverTest, ShowsTheImageScaledIntoItsSizeUntilClosed) {
  EXPECT_FALSE(popover.isShown());
  show();
  ASSERT_TRUE(popover.isShown());
  QWidget* shown = window();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->size(), QSize(200, 200));
  const QLabel* label = shown->findChild<QLabel*>();
  ASSERT_TRUE(label);
  EXPECT_EQ(label->pixmap().size(), QSize(200, 50));  // proportional, up or down
  popover.close();
  EXPECT_FALSE(popover.isShown());
}

TEST_F(QtPopoverTest, OnlyATransientPopoverClosesOnAClick) {
  popover.setBehavior(PopoverBehavior::applicationDefined);
  show();
  clickOn(window());
  EXPECT_TRUE(popover.isShown());
  popover.setBehavior(PopoverBehavior::transient);
  clickOn(window());
  EXPECT_FALSE(popover.isShown());
}

}  // namespace
}  // namespace bm::qt
