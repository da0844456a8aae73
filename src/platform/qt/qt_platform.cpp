#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QStandardPaths>

#include "platform/qt/clipboard/qt_pasteboard.h"
#include "platform/qt/qt_popover.h"
#include "platform/qt/clipboard/wayland_pasteboard.h"

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

// An X11 client on XWayland sees Wayland programs' copies only while one of
// its windows has focus; data-control shows them all.
std::unique_ptr<Pasteboard> desktopPasteboard(QApplication& app, ImageCodec& images, Console& console) {
  auto missing = WaylandClipboard::Missing::kDisplay;
  if (auto wayland = WaylandClipboard::connect(&missing))
    return std::make_unique<WaylandPasteboard>(std::move(wayland), images);
  if (missing == WaylandClipboard::Missing::kDataControl)
    console.printLine(
        "This Wayland session gives background applications no clipboard access (no data-control, as on GNOME): "
        "Brindlemux records copies made in X11 programs, and copies Wayland programs make while an X11 window "
        "has focus.");
  else if (missing == WaylandClipboard::Missing::kConnection)
    console.printLine("Brindlemux cannot reach the Wayland display named by WAYLAND_DISPLAY: it records the X11 "
                      "clipboard only.");
  return std::make_unique<QtPasteboard>(*QApplication::clipboard(), images, x11ClipboardOf(app));
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
      pasteboard_(desktopPasteboard(app, images_, console_)),
      defaults_(locations.settingsFile),
      loginItems_(locations.autostartEntry, std::move(executable)) {}

QtPlatform::~QtPlatform() { releaseProcessWide(); }

std::unique_ptr<Popover> QtPlatform::makePopover() { return std::make_unique<QtPopover>(); }

}  // namespace bm::qt
