#include "platform/sim/sim_services.h"

#include <charconv>

namespace bm::sim {

std::optional<std::string> SimUserDefaults::stringForKey(const std::string& key) {
  ++reads_;
  const auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&found->second)) return *text;
  return std::to_string(std::get<std::int64_t>(found->second));
}

void SimUserDefaults::setString(const std::string& key, const std::string& value) {
  values_[key] = value;
  writes_.emplace_back(key, value);
}

std::int64_t SimUserDefaults::integerForKey(const std::string& key) {
  ++reads_;
  const auto found = values_.find(key);
  if (found == values_.end()) return 0;
  if (const auto* number = std::get_if<std::int64_t>(&found->second)) return *number;
  const auto& text = std::get<std::string>(found->second);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

void SimUserDefaults::setInteger(const std::string& key, std::int64_t value) {
  values_[key] = value;
  writes_.emplace_back(key, std::to_string(value));
}

Status SimLoginItems::registerMainApp() {
  ++registrations;
  if (onRegister) onRegister();
  if (failure) return Error{*failure};
  return {};
}

Result<Bytes> SimBookmarks::createBookmark(const Url& fileUrl) {
  if (refuseBookmarkFor.count(fileUrl.path())) return Error{"Bookmark refused for " + fileUrl.path()};
  return FileBookmarks::createBookmark(fileUrl);
}

Result<ResolvedBookmark> SimBookmarks::resolveBookmark(const Bytes& bookmark) {
  auto resolved = FileBookmarks::resolveBookmark(bookmark);
  if (!resolved) return resolved;
  ResolvedBookmark result = std::move(resolved).value();
  if (staleFor.count(result.url.path())) result.stale = true;
  return result;
}

std::string SimBookmarks::currentLocation(const std::string& path) {
  const auto moved = movedTo.find(path);
  return moved == movedTo.end() ? path : moved->second;
}

bool SimBookmarks::startAccessing(const Url& url) {
  ++starts;
  if (refuseAccessTo.count(url.path())) return false;
  return FileBookmarks::startAccessing(url);
}

void SimBookmarks::stopAccessing(const Url& url) {
  ++stops;
  FileBookmarks::stopAccessing(url);
}

std::shared_ptr<StatusItem> SimStatusBar::statusItemWithLength(double) {
  auto item = std::make_shared<SimStatusItem>(itemsHaveButtons_);
  items_.push_back(item);
  return item;
}

std::shared_ptr<SimStatusItem> SimStatusBar::currentItem() const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it)
    if (auto item = it->lock()) return item;
  return nullptr;
}

void SimPopover::setImage(const Image& image, ImageScaling scaling) {
  record_->image = image;
  record_->scaling = scaling;
}

void SimPopover::showRelativeTo(Rect anchor, StatusButton&, RectEdge preferredEdge) {
  record_->anchor = anchor;
  record_->edge = preferredEdge;
  record_->shownAt = now_();
  record_->closedAt.reset();
}

void SimPopover::close() {
  if (record_->isShown()) record_->closedAt = now_();
}

int SimApplication::run() {
  if (!running_ && !terminated_) {
    running_ = true;
    if (delegate_) delegate_->applicationDidFinishLaunching();
  }
  return 0;
}

void SimApplication::terminate() {
  if (terminated_) return;
  terminated_ = true;
  running_ = false;
  if (onTerminate) onTerminate();
  if (delegate_) delegate_->applicationWillTerminate();
}

}  // namespace bm::sim
