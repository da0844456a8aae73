#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/clipboard_item.h"
#include "storage/encoded_history.h"

namespace bm {

class Console;
class FileSystem;
class Platform;
class UserDefaults;

// Owns everything kept between runs: the history file, the directories of
// per-entry files under the documents directory, and the preview preference.
class PersistenceManager {
 public:
  // The one manager of this process, made on first use. The platform must
  // have a documents directory (the process entry checks).
  static std::shared_ptr<PersistenceManager> shared(Platform& platform);

  PersistenceManager(UserDefaults& defaults, Console& console, FileSystem& fileSystem,
                     std::filesystem::path documentsDirectory);

  const std::string previewStyleKey = "PreviewStyle";
  const std::int64_t maxHistoryItems = 50;
  const std::filesystem::path documentsDirectory;
  const std::string historyFileName = "ClipboardHistory.data";

  // Each made (0700) on first access in this process if nothing is there;
  // a failure to make one is silent: writes into it fail where they happen.
  const std::filesystem::path& dataDirectory();
  const std::filesystem::path& thumbnailDirectory();
  const std::filesystem::path& bookmarksDirectory();

  // Writes the newest maxHistoryItems entries as the history file, replacing
  // it atomically; `items` is left as it is. A failure prints one line and
  // leaves the old file whole. True when the file now holds `items`.
  bool saveHistory(const std::vector<ClipboardItem>& items);
  // Every entry of the history file, in file order; empty when there is no
  // file. A file that cannot be read or decoded gives an empty history and
  // one line, and is kept aside (see unreadableHistorySuffix) so that
  // nothing overwrites it. A symbolic link there is not followed: it fails to
  // load. The temporary file of a save cut short is removed first.
  std::vector<ClipboardItem> loadHistory();

  // A history that failed to load is renamed to "ClipboardHistory.data" plus
  // this suffix, or with ".1", ".2", ... after it when that name is taken.
  static constexpr const char* unreadableHistorySuffix = ".unreadable";
  // True while a kept-aside history exists, or the history file failed to
  // load in this process: which stored files it names cannot be known, so
  // none may be taken for an orphan.
  bool hasUnreadableHistory() const;

  // The bytes of a stored-file id's data file. Nothing when there is no such
  // file; nothing and one line when it cannot be read.
  std::optional<Bytes> readDataFile(const Uuid& storedFileId);

  void savePreviewStyle(PreviewStyle style);
  // The stored style, or `temporary` when none or anything else is stored.
  PreviewStyle storedPreviewStyle();

  // Stored-file removal: quiet and best effort; an item that cannot be
  // removed stays. Subdirectories go with their contents, a symbolic link
  // is removed as a link. The bookmarks directory and the history file are
  // never touched.
  //
  // The data file and thumbnail of one stored-file id.
  void deleteFiles(const Uuid& storedFileId);
  // Everything in the data and thumbnail directories.
  void deleteAllFiles();
  // Everything in the data and thumbnail directories whose name is not
  // exactly the canonical text of one of `keep`.
  void removeOrphanedFiles(const std::vector<Uuid>& keep);

 private:
  const std::filesystem::path& directory(std::optional<std::filesystem::path>& field, const char* name);

  std::filesystem::path historyFile() const { return documentsDirectory / historyFileName; }

  UserDefaults& defaults_;
  Console& console_;
  FileSystem& fileSystem_;
  EncodedHistory encoded_;
  bool loadFailed_ = false;
  std::optional<std::filesystem::path> dataDirectory_;
  std::optional<std::filesystem::path> thumbnailDirectory_;
  std::optional<std::filesystem::path> bookmarksDirectory_;
};

}  // namespace bm
