#include "platform/sim/sim_platform.h"

#include <cstdlib>
#include <stdexcept>

namespace bm::sim {
namespace fs = std::filesystem;

namespace {

const MenuItem* findEnabledItem(const Menu& menu, const std::string& title) {
  for (const auto& item : menu.items()) {
    if (item.title() == title && item.isEnabled()) return &item;
    if (item.submenu())
      if (const auto* found = findEnabledItem(*item.submenu(), title)) return found;
  }
  return nullptr;
}

}  // namespace

SimWorld::SimWorld() {
  std::string pattern = (fs::temp_directory_path() / "brindlemux-sim-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary home for the simulated world");
  home_ = pattern;
  fs::create_directories(documentsDirectory());
}

SimWorld::~SimWorld() {
  std::error_code ignored;
  fs::remove_all(home_, ignored);
}

SimPlatform::SimPlatform(SimWorld& world)
    : world_(world), statusBar_(world.statusItemsHaveButtons), mainLoop_(world.clock) {}

SimPlatform::~SimPlatform() { releaseProcessWide(); }

std::unique_ptr<Popover> SimPlatform::makePopover() {
  auto record = std::make_shared<PopoverRecord>();
  popovers_.push_back(record);
  return std::make_unique<SimPopover>(record, [this] { return mainLoop_.now(); });
}

std::vector<fs::path> SimPlatform::documentDirectories() {
  if (!world_.hasDocumentsDirectory) return {};
  return {world_.documentsDirectory()};
}

bool SimPlatform::openMenu() {
  const auto item = statusItem();
  const auto menu = item ? item->menu() : nullptr;
  if (!menu) return false;
  if (menu->delegate()) menu->delegate()->menuWillOpen(*menu);
  mainLoop_.setTracking(true);
  return true;
}

void SimPlatform::closeMenu() {
  mainLoop_.setTracking(false);
  mainLoop_.advance(0);  // timers held back by the menu fire now
}

bool SimPlatform::chooseMenuItem(const std::string& title) {
  const auto item = statusItem();
  const auto menu = item ? item->menu() : nullptr;
  if (!menu || !mainLoop_.isTracking()) return false;
  const MenuItem* chosen = findEnabledItem(*menu, title);
  if (!chosen) return false;
  const MenuItem sender = *chosen;
  mainLoop_.setTracking(false);
  sender.action()(sender);
  mainLoop_.advance(0);
  return true;
}

void SimPlatform::clickElsewhere() {
  for (const auto& record : popovers_)
    if (record->isShown() && record->behavior == PopoverBehavior::transient) record->closedAt = mainLoop_.now();
}

}  // namespace bm::sim
