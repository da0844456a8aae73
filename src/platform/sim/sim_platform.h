#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shared/qt_image_codec.h"
#include "platform/sim/sim_main_loop.h"
#include "platform/sim/sim_pasteboard.h"
#include "platform/sim/sim_services.h"

namespace bm::sim {

// The machine the simulated application runs on: its folders, user
// defaults, pasteboard, clock and login-item service. It outlives any one
// process, so a restart finds everything as the last run left it.
class SimWorld {
 public:
  // Makes a fresh home folder under the system's temporary directory.
  SimWorld();
  // Removes the home folder.
  ~SimWorld();
  SimWorld(const SimWorld&) = delete;
  SimWorld& operator=(const SimWorld&) = delete;

  const std::filesystem::path& home() const { return home_; }
  // Made with the world, as a user's documents folder is.
  std::filesystem::path documentsDirectory() const { return home_ / "Documents"; }

  qt::QtImageCodec images;
  SimPasteboard pasteboard{images};
  SimUserDefaults defaults;
  SimLoginItems loginItems;
  SimBookmarks bookmarks;
  Date clock{800000000.0};  // some day in 2026
  bool statusItemsHaveButtons = true;
  bool hasDocumentsDirectory = true;

 private:
  std::filesystem::path home_;
};

// One run of the application on a SimWorld. Destroying it is the end of the
// process: its timers, status item, menus and popovers go with it.
class SimPlatform : public Platform {
 public:
  explicit SimPlatform(SimWorld& world);
  ~SimPlatform() override;

  Application& application() override { return application_; }
  StatusBar& systemStatusBar() override { return statusBar_; }
  Pasteboard& generalPasteboard() override { return world_.pasteboard; }
  MainLoop& mainLoop() override { return mainLoop_; }
  UserDefaults& standardUserDefaults() override { return world_.defaults; }
  Bookmarks& bookmarks() override { return world_.bookmarks; }
  ImageCodec& images() override { return world_.images; }
  std::unique_ptr<Popover> makePopover() override;
  LoginItems& loginItems() override { return world_.loginItems; }
  Console& console() override { return console_; }
  std::vector<std::filesystem::path> documentDirectories() override;

  // Driving the process.
  void advance(double seconds) { mainLoop_.advance(seconds); }
  // Opens the status item's menu as a click would: the delegate hears
  // menuWillOpen, then the menu is tracked. False if there is no menu.
  bool openMenu();
  void closeMenu();
  // Chooses the enabled item titled `title` in the open menu or one of its
  // submenus, closing the menu first as the system does. False if none.
  bool chooseMenuItem(const std::string& title);
  // A click outside the popovers: transient ones close.
  void clickElsewhere();

  // Looking at it.
  SimApplication& simApplication() { return application_; }
  SimMainLoop& simMainLoop() { return mainLoop_; }
  SimStatusBar& simStatusBar() { return statusBar_; }
  std::shared_ptr<SimStatusItem> statusItem() const { return statusBar_.currentItem(); }
  const std::vector<std::string>& consoleLines() const { return console_.lines(); }
  const std::vector<std::shared_ptr<PopoverRecord>>& popovers() const { return popovers_; }

 private:
  SimWorld& world_;
  SimApplication application_;
  SimStatusBar statusBar_;
  SimMainLoop mainLoop_;
  SimConsole console_;
  std::vector<std::shared_ptr<PopoverRecord>> popovers_;
};

}  // namespace bm::sim
