#include <gtest/gtest.h>

#include <QApplication>

// The desktop platform's pieces need a QApplication; the offscreen platform
// gives them one without a display. The X11 cases choose xcb instead.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
