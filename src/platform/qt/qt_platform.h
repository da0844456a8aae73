#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "shared/file_bookmarks.h"
#include "platform/platform.h"
#include "platform/qt/qt_application.h"
#include "shared/qt_image_codec.h"
#include "platform/qt/qt_main_loop.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/qt/qt_user_defaults.h"
#include "platform/qt/xdg_login_items.h"
#include "platform/stdout_console.h"
#include "shared/posix_file_system.h"

class QApplication;

namespace bm::qt {

// Where things live on a Linux desktop (XDG base directories).
struct DesktopLocations {
  std::filesystem::path baseDirectory;  // $XDG_DATA_HOME/Brindlemux
  std::filesystem::path settingsFile;   // $XDG_CONFIG_HOME/Brindlemux/Brindlemux.conf
  std::filesystem::path autostartEntry; // $XDG_CONFIG_HOME/autostart/brindlemux.desktop

  static DesktopLocations fromEnvironment();
};

// The desktop platform: a tray application on Qt 6. The clipboard is read
// through X11, or in a Wayland session through the compositor's data-control
// where it offers that; the tray is an X11 client either way (XWayland).
class QtPlatform : public Platform {
 public:
  QtPlatform(QApplication& app, const DesktopLocations& locations, std::string executable);
  ~QtPlatform() override;

  Application& application() override { return application_; }
  StatusBar& systemStatusBar() override { return statusBar_; }
  Pasteboard& generalPasteboard() override { return *pasteboard_; }
  MainLoop& mainLoop() override { return mainLoop_; }
  UserDefaults& standardUserDefaults() override { return defaults_; }
  Bookmarks& bookmarks() override { return bookmarks_; }
  ImageCodec& images() override { return images_; }
  std::unique_ptr<Popover> makePopover() override;
  LoginItems& loginItems() override { return loginItems_; }
  Console& console() override { return console_; }
  FileSystem& fileSystem() override { return posixFileSystem(); }
  std::vector<std::filesystem::path> documentDirectories() override { return {locations_.baseDirectory}; }

 private:
  DesktopLocations locations_;
  QtImageCodec images_;
  QtMainLoop mainLoop_;
  QtApplication application_;
  QtStatusBar statusBar_;
  StdoutConsole console_;
  std::unique_ptr<Pasteboard> pasteboard_;
  QtUserDefaults defaults_;
  FileBookmarks bookmarks_;
  XdgLoginItems loginItems_;
};

}  // namespace bm::qt
