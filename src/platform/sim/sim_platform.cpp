#include "platform/sim/sim_platform.h"

#include <cstdlib>
#include <stdexcept>

namespace bm::sim {
namespace fs = std::filesystem;

namespace {

// A copy whose submenus are copies too, so the shown menu keeps what it
// showed whatever happens to the status item's menu.
std::unique_ptr<Menu> deepCopy(const Menu& menu) {
  auto copy = std::make_unique<Menu>(menu.title());
  copy->setDelegate(menu.delegate());
  for (MenuItem item : menu.items()) {
    if (item.submenu()) item.setSubmenu(deepCopy(*item.submenu()));
    copy->addItem(std::move(item));
  }
  return copy;
}

bool opensSubmenu(const MenuItem& item) { return item.isEnabled() && item.submenu(); }
bool canBeChosen(const MenuItem& item) { return item.isEnabled() && item.hasAction() && !item.submenu(); }

const MenuItem* choosableAt(const Menu& menu, const std::vector<size_t>& path) {
  const Menu* level = &menu;
  for (size_t depth = 0; depth < path.size(); ++depth) {
    if (path[depth] >= level->items().size()) return nullptr;
    const MenuItem& item = level->items()[path[depth]];
    if (depth + 1 == path.size()) return canBeChosen(item) ? &item : nullptr;
    if (!opensSubmenu(item)) return nullptr;
    level = item.submenu().get();
  }
  return nullptr;
}

void collectTitled(const Menu& menu, const std::string& title, std::vector<size_t>& at,
                   std::vector<std::vector<size_t>>& found) {
  for (size_t index = 0; index < menu.items().size(); ++index) {
    const MenuItem& item = menu.items()[index];
    at.push_back(index);
    if (canBeChosen(item) && item.title() == title) found.push_back(at);
    if (opensSubmenu(item)) collectTitled(*item.submenu(), title, at, found);
    at.pop_back();
  }
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

// The pasteboard outlives the process; nothing of this one may hear it.
SimPlatform::~SimPlatform() {
  world_.pasteboard.setChangeObserver(nullptr);
  releaseProcessWide();
}

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
  if (shown_) return true;
  const auto item = statusItem();
  const auto menu = item ? item->menu() : nullptr;
  if (!menu) return false;
  if (menu->delegate()) menu->delegate()->menuWillOpen(*menu);
  shown_ = deepCopy(*menu);
  mainLoop_.setTracking(true);
  return true;
}

void SimPlatform::closeMenu() {
  shown_.reset();
  mainLoop_.setTracking(false);
  mainLoop_.advance(0);  // timers held back by the menu fire now
}

bool SimPlatform::chooseMenuItem(const std::vector<size_t>& path) {
  if (!shown_) return false;
  const MenuItem* chosen = choosableAt(*shown_, path);
  if (!chosen) return false;
  const MenuItem sender = *chosen;  // the shown menu goes with the closing
  shown_.reset();
  mainLoop_.setTracking(false);
  sender.action()(sender);
  mainLoop_.advance(0);
  return true;
}

bool SimPlatform::chooseMenuItem(const std::string& title) {
  if (!shown_) return false;
  std::vector<size_t> at;
  std::vector<std::vector<size_t>> found;
  collectTitled(*shown_, title, at, found);
  return found.size() == 1 && chooseMenuItem(found.front());
}

void SimPlatform::clickElsewhere() {
  for (const auto& record : popovers_)
    if (record->isShown() && record->behavior == PopoverBehavior::transient) record->closedAt = mainLoop_.now();
}

}  // namespace bm::sim
