#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <vector>

#include "platform/application.h"
#include "platform/bookmarks.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/image.h"
#include "platform/login_items.h"
#include "platform/main_loop.h"
#include "platform/pasteboard.h"
#include "platform/popover.h"
#include "platform/status_item.h"
#include "platform/user_defaults.h"

namespace bm {

// Everything the core needs from the system, for one running process.
// Files are reached through shared/files.h, whose writes go through fileSystem().
class Platform {
 public:
  virtual ~Platform() = default;

  virtual Application& application() = 0;
  virtual StatusBar& systemStatusBar() = 0;
  virtual Pasteboard& generalPasteboard() = 0;
  virtual MainLoop& mainLoop() = 0;
  virtual UserDefaults& standardUserDefaults() = 0;
  virtual Bookmarks& bookmarks() = 0;
  virtual ImageCodec& images() = 0;
  virtual std::unique_ptr<Popover> makePopover() = 0;
  virtual LoginItems& loginItems() = 0;
  virtual Console& console() = 0;
  virtual FileSystem& fileSystem() = 0;
  // The user's documents directories, most specific first; may be empty.
  virtual std::vector<std::filesystem::path> documentDirectories() = 0;

  // The one T of this process, made by `make` on first use and kept until the
  // process (this platform) ends. Safe against a concurrent first use.
  template <class T, class Make>
  std::shared_ptr<T> processWide(Make make) {
    std::lock_guard lock(processWideMutex_);
    auto& slot = processWide_[std::type_index(typeid(T))];
    if (!slot) slot = std::shared_ptr<T>(make());
    return std::static_pointer_cast<T>(slot);
  }

  // The one T of this process if it has been made, else null.
  template <class T>
  std::shared_ptr<T> processWideIfMade() {
    std::lock_guard lock(processWideMutex_);
    const auto found = processWide_.find(std::type_index(typeid(T)));
    return found == processWide_.end() ? nullptr : std::static_pointer_cast<T>(found->second);
  }

 protected:
  // Process-wide objects end before the services they use.
  void releaseProcessWide() {
    std::lock_guard lock(processWideMutex_);
    processWide_.clear();
  }

 private:
  std::recursive_mutex processWideMutex_;  // one made object may need another
  std::map<std::type_index, std::shared_ptr<void>> processWide_;
};

}  // namespace bm
