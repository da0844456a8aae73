#pragma once

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shared/qt_image_codec.h"
#include "platform/sim/sim_file_system.h"
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
  SimFileSystem fileSystem;
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
  FileSystem& fileSystem() override { return world_.fileSystem; }
  std::vector<std::filesystem::path> documentDirectories() override;

  // Driving the process.
  void advance(double seconds) { mainLoop_.advance(seconds); }
  // Opens the status item's menu as a click would: the delegate hears
  // menuWillOpen, then the menu is shown as it is now and tracked. A menu
  // already open stays as shown and the delegate is not told again. False if
  // there is no menu.
  bool openMenu();
  void closeMenu();
  // What the open menu shows, submenus included, as rendered at opening
  // (later changes to the status item's menu show at the next opening).
  // Null while closed.
  const Menu* shownMenu() const { return shown_.get(); }
  // Chooses an item of the open menu by position: an index into its items,
  // then into that item's submenu, and so on (titles repeat, positions do
  // not). As in a real menu, every item on the way is enabled, each but the
  // last holds a submenu, and the last has an action and no submenu. The
  // menu closes first, the action runs with a copy of the item, then timers
  // held back by the menu fire. False, with the menu left open, otherwise.
  bool chooseMenuItem(const std::vector<size_t>& path);
  bool chooseMenuItem(std::initializer_list<size_t> path) { return chooseMenuItem(std::vector<size_t>(path)); }
  // The same for the one item titled `title` that can be chosen, looking
  // only into submenus that can be opened. False if none or several can.
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
  std::unique_ptr<const Menu> shown_;
};

}  // namespace bm::sim
