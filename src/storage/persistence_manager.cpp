#include "storage/persistence_manager.h"

#include "platform/files.h"
#include "platform/platform.h"

namespace bm {

std::shared_ptr<PersistenceManager> PersistenceManager::shared(Platform& platform) {
  return platform.processWide<PersistenceManager>([&platform] {
    return new PersistenceManager(platform.standardUserDefaults(), platform.documentDirectories().at(0));
  });
}

PersistenceManager::PersistenceManager(UserDefaults& defaults, std::filesystem::path documentsDirectory)
    : documentsDirectory(std::move(documentsDirectory)), defaults_(defaults) {}

const std::filesystem::path& PersistenceManager::directory(std::optional<std::filesystem::path>& field,
                                                           const char* name) {
  if (!field) {
    auto url = documentsDirectory / name;
    if (!files::exists(url)) (void)files::createPrivateDirectories(url);
    field = std::move(url);
  }
  return *field;
}

const std::filesystem::path& PersistenceManager::dataDirectory() { return directory(dataDirectory_, "ClipboardData"); }
const std::filesystem::path& PersistenceManager::thumbnailDirectory() {
  return directory(thumbnailDirectory_, "ClipboardThumbnails");
}
const std::filesystem::path& PersistenceManager::bookmarksDirectory() {
  return directory(bookmarksDirectory_, "FileBookmarks");
}

void PersistenceManager::saveHistory(const std::vector<ClipboardItem>&) {}

std::vector<ClipboardItem> PersistenceManager::loadHistory() { return {}; }

void PersistenceManager::savePreviewStyle(PreviewStyle style) {
  defaults_.setString(previewStyleKey, std::string(rawValue(style)));
}

PreviewStyle PersistenceManager::storedPreviewStyle() {
  const auto stored = defaults_.stringForKey(previewStyleKey);
  if (!stored) return PreviewStyle::temporary;
  return fromRaw<PreviewStyle>(*stored).value_or(PreviewStyle::temporary);
}

void PersistenceManager::removeOrphanedFiles(const std::vector<Uuid>&) {
  // The removal itself is not built yet; the directories it works in exist after it.
  dataDirectory();
  thumbnailDirectory();
}

}  // namespace bm
