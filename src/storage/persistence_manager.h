#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/clipboard_item.h"

namespace bm {

class Platform;
class UserDefaults;

// Owns everything kept between runs: the history file, the directories of
// per-entry files under the documents directory, and the preview preference.
class PersistenceManager {
 public:
  // The one manager of this process, made on first use. The platform must
  // have a documents directory (the process entry checks).
  static std::shared_ptr<PersistenceManager> shared(Platform& platform);

  PersistenceManager(UserDefaults& defaults, std::filesystem::path documentsDirectory);

  const std::string previewStyleKey = "PreviewStyle";
  const std::int64_t maxHistoryItems = 50;
  const std::filesystem::path documentsDirectory;
  const std::string historyFileName = "ClipboardHistory.data";

  // Each made (0700) on first access in this process if nothing is there;
  // a failure to make one is silent: writes into it fail where they happen.
  const std::filesystem::path& dataDirectory();
  const std::filesystem::path& thumbnailDirectory();
  const std::filesystem::path& bookmarksDirectory();

  // Not built yet: the history file is neither written nor read.
  void saveHistory(const std::vector<ClipboardItem>& items);
  std::vector<ClipboardItem> loadHistory();

  void savePreviewStyle(PreviewStyle style);
  // The stored style, or `temporary` when none or anything else is stored.
  PreviewStyle storedPreviewStyle();

  // Not built yet: stored files are not removed. Makes sure the data and
  // thumbnail directories exist.
  void removeOrphanedFiles(const std::vector<Uuid>& keep);

 private:
  const std::filesystem::path& directory(std::optional<std::filesystem::path>& field, const char* name);

  UserDefaults& defaults_;
  std::optional<std::filesystem::path> dataDirectory_;
  std::optional<std::filesystem::path> thumbnailDirectory_;
  std::optional<std::filesystem::path> bookmarksDirectory_;
};

}  // namespace bm
