#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <vector>

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

// Where the tray does not say where its icon is (a StatusNotifierItem host),
// the popover goes under the pointer, or above it, and stays on the screen.
TEST_F(QtPopoverTest, WithoutTheIconsPlaceItOpensAtThePointer) {
  ASSERT_EQ(static_cast<QtStatusButton&>(button).screenGeometry().width, 0);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  struct Case {
    const char* name;
    QPoint pointer;
    QPoint topLeft;
  };
  const std::vector<Case> cases = {
      {"centred under it", {400, 100}, {300, 100}},
      {"above it near the bottom", {400, screen.bottom() - 50}, {300, screen.bottom() - 250}},
      {"kept on the screen at the right", {screen.right() - 10, 100}, {screen.right() - 200, 100}},
      {"kept on the screen at the left", {20, 100}, {screen.left(), 100}},
  };
  for (const Case& place : cases) {
    SCOPED_TRACE(place.name);
    QCursor::setPos(place.pointer);
    show();
    ASSERT_TRUE(window());
    EXPECT_EQ(window()->geometry().topLeft(), place.topLeft);
    popover.close();
  }
}

}  // namespace
}  // namespace bm::qt
