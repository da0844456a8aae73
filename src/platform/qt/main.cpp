#include <sys/stat.h>

#include <QApplication>
#include <QLoggingCategory>
#include <iostream>

#include "app/app_delegate.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/single_instance.h"

int main(int argc, char** argv) {
  // Clipboard history holds secrets: nothing this process makes is for others.
  ::umask(077);

  // The tray and its menu are X11 clients, on XWayland in a Wayland session:
  // there the clipboard goes through the compositor's data-control instead
  // (QtPlatform), and Qt's own Wayland platform would add nothing.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
      std::cerr << "Brindlemux needs XWayland for its tray icon: this Wayland session has no X display (DISPLAY)"
                << std::endl;
      return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
  }
  QApplication app(argc, argv);
  // Pictures from other programs and from the disk may be refused (too large,
  // broken): capture and the menu go on without them, so Qt's notes are noise.
  QLoggingCategory::setFilterRules("qt.gui.imageio.warning=false");
  QApplication::setApplicationName("brindlemux");  // the X11 window class
  QApplication::setApplicationDisplayName("Brindlemux");
  QApplication::setDesktopFileName("brindlemux");

  const auto locations = bm::qt::DesktopLocations::fromEnvironment();
  if (auto made = bm::files::createPrivateDirectories(bm::posixFileSystem(), locations.baseDirectory); !made) {
    std::cerr << "Brindlemux cannot use its data directory: " << made.error().description << std::endl;
    return 1;
  }
  (void)bm::files::createPrivateDirectories(bm::posixFileSystem(), locations.settingsFile.parent_path());

  const auto lock = bm::qt::SingleInstanceLock::acquire(locations.baseDirectory);
  if (!lock) {
    std::cerr << "Brindlemux is already running for " << locations.baseDirectory.string() << std::endl;
    return 1;
  }

  bm::qt::QtPlatform platform(app, locations, QApplication::applicationFilePath().toStdString());
  return bm::runApplication(platform);
}
