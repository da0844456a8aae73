#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/application.h"
#include "platform/console.h"
#include "platform/date.h"
#include "shared/file_bookmarks.h"
#include "platform/login_items.h"
#include "platform/popover.h"
#include "platform/status_item.h"
#include "platform/user_defaults.h"

namespace bm::sim {

// User defaults in memory; the world keeps them across restarts.
class SimUserDefaults : public UserDefaults {
 public:
  using Value = std::variant<std::string, std::int64_t>;

  std::optional<std::string> stringForKey(const std::string& key) override;
  void setString(const std::string& key, const std::string& value) override;
  std::int64_t integerForKey(const std::string& key) override;
  void setInteger(const std::string& key, std::int64_t value) override;

  // Every write, in order: (key, value as text).
  const std::vector<std::pair<std::string, std::string>>& writes() const { return writes_; }
  size_t readCount() const { return reads_; }

 private:
  std::map<std::string, Value> values_;
  std::vector<std::pair<std::string, std::string>> writes_;
  size_t reads_ = 0;
};

class SimConsole : public Console {
 public:
  void printLine(std::string_view line) override { lines_.emplace_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// Succeeds, or fails with the description the world sets.
class SimLoginItems : public LoginItems {
 public:
  Status registerMainApp() override;

  std::optional<std::string> failure;  // set to make registration fail
  std::function<void()> onRegister;    // lets a test look at the app at that moment
  int registrations = 0;
};

// Bookmarks over the real file system, with scripted trouble and moves.
class SimBookmarks : public FileBookmarks {
 public:
  Result<Bytes> createBookmark(const Url& fileUrl) override;
  Result<ResolvedBookmark> resolveBookmark(const Bytes& bookmark) override;
  bool startAccessing(const Url& url) override;
  void stopAccessing(const Url& url) override;

  std::set<std::string> refuseBookmarkFor;          // paths whose bookmark cannot be made
  std::set<std::string> staleFor;                   // resolved paths reported stale
  std::map<std::string, std::string> movedTo;       // path -> where the file is found now
  std::set<std::string> refuseAccessTo;             // paths whose scoped access is refused
  int starts = 0;
  int stops = 0;

 protected:
  std::string currentLocation(const std::string& path) override;
};

class SimStatusButton : public StatusButton {
 public:
  void setImage(const Image& image) override { image_ = image; }
  const Image& image() const override { return image_; }
  void setTitle(const std::string& title) override { title_ = title; }
  const std::string& title() const override { return title_; }
  Rect bounds() const override { return {0, 0, 24, 22}; }

 private:
  Image image_;
  std::string title_;
};

class SimStatusItem : public StatusItem {
 public:
  explicit SimStatusItem(bool withButton) {
    if (withButton) button_.emplace();
  }
  StatusButton* button() override { return button_ ? &*button_ : nullptr; }
  std::shared_ptr<Menu> menu() const override { return menu_; }
  void setMenu(std::shared_ptr<Menu> menu) override { menu_ = std::move(menu); }
  const SimStatusButton* simButton() const { return button_ ? &*button_ : nullptr; }

 private:
  std::optional<SimStatusButton> button_;
  std::shared_ptr<Menu> menu_;
};

class SimStatusBar : public StatusBar {
 public:
  explicit SimStatusBar(bool itemsHaveButtons) : itemsHaveButtons_(itemsHaveButtons) {}
  std::shared_ptr<StatusItem> statusItemWithLength(double length) override;
  // The newest item still held by someone, or null.
  std::shared_ptr<SimStatusItem> currentItem() const;
  size_t itemsMade() const { return items_.size(); }

 private:
  bool itemsHaveButtons_;
  std::vector<std::weak_ptr<SimStatusItem>> items_;
};

// What one popover showed and when.
struct PopoverRecord {
  Size contentSize;
  Image image;
  ImageScaling scaling = ImageScaling::proportionallyDown;
  PopoverBehavior behavior = PopoverBehavior::applicationDefined;
  std::optional<Rect> anchor;
  RectEdge edge = RectEdge::minX;
  std::optional<Date> shownAt;
  std::optional<Date> closedAt;
  bool isShown() const { return shownAt && !closedAt; }
};

class SimPopover : public Popover {
 public:
  SimPopover(std::shared_ptr<PopoverRecord> record, std::function<Date()> now)
      : record_(std::move(record)), now_(std::move(now)) {}
  void setContentSize(Size size) override { record_->contentSize = size; }
  void setImage(const Image& image, ImageScaling scaling) override;
  void setBehavior(PopoverBehavior behavior) override { record_->behavior = behavior; }
  void showRelativeTo(Rect anchor, StatusButton& button, RectEdge preferredEdge) override;
  void close() override;
  bool isShown() const override { return record_->isShown(); }

 private:
  std::shared_ptr<PopoverRecord> record_;
  std::function<Date()> now_;
};

// run() delivers the launch and returns: the simulated event loop then moves
// only when the test drives it (advance time, open a menu, choose an item).
class SimApplication : public Application {
 public:
  void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }
  void setActivationPolicy(ActivationPolicy policy) override { policy_ = policy; }
  int run() override;
  void terminate() override;

  std::optional<ActivationPolicy> activationPolicy() const { return policy_; }
  bool hasTerminated() const { return terminated_; }
  // Lets a test look at the app when termination is asked for, before it is delivered.
  std::function<void()> onTerminate;

 private:
  ApplicationDelegate* delegate_ = nullptr;
  std::optional<ActivationPolicy> policy_;
  bool running_ = false;
  bool terminated_ = false;
};

}  // namespace bm::sim
