#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QStandardPaths>

#include "platform/qt/qt_popover.h"

namespace bm::qt {
namespace {

std::filesystem::path standardPath(QStandardPaths::StandardLocation location) {
  return QStandardPaths::writableLocation(location).toStdString();
}

// Only where Qt itself runs on X11; other platforms keep QClipboard alone.
std::unique_ptr<X11Clipboard> x11ClipboardOf(QApplication& app) {
  const auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? X11Clipboard::connect(x11->connection()) : nullptr;
}

}  // namespace

DesktopLocations DesktopLocations::fromEnvironment() {
  const auto data = standardPath(QStandardPaths::GenericDataLocation);
  const auto config = standardPath(QStandardPaths::GenericConfigLocation);
  return {data / "Brindlemux", config / "Brindlemux" / "Brindlemux.conf", config / "autostart" / "brindlemux.desktop"};
}

QtPlatform::QtPlatform(QApplication& app, const DesktopLocations& locations, std::string executable)
    : locations_(locations),
      application_(app),
      statusBar_(mainLoop_),
      pasteboard_(*QApplication::clipboard(), images_, x11ClipboardOf(app)),
      defaults_(locations.settingsFile),
      loginItems_(locations.autostartEntry, std::move(executable)) {}

QtPlatform::~QtPlatform() { releaseProcessWide(); }

std::unique_ptr<Popover> QtPlatform::makePopover() { return std::make_unique<QtPopover>(); }

}  // namespace bm::qt
