#include "storage/persistence_manager.h"

#include <algorithm>
#include <functional>
#include <set>

#include "model/history_codec.h"
#include "shared/files.h"
#include "platform/platform.h"

namespace bm {
namespace fs = std::filesystem;
namespace {

// Removes every item of `dir`, hidden ones included, whose name `keep` refuses.
// A directory that cannot be listed is skipped; each removal may fail alone.
// A `dir` that is a link may lead anywhere, outside our folder: it is left
// alone.
void removeItems(const fs::path& dir, const std::function<bool(const std::string&)>& keep) {
  std::error_code error;
  if (fs::is_symlink(dir, error)) return;
  std::vector<fs::path> listed;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    listed.push_back(it->path());
  }
  if (error) return;
  for (const auto& item : listed) {
    if (!keep(item.filename().string())) fs::remove_all(item, error);  // a link goes, not its target
  }
}

}  // namespace

std::shared_ptr<PersistenceManager> PersistenceManager::shared(Platform& platform) {
  return platform.processWide<PersistenceManager>([&platform] {
    return new PersistenceManager(platform.standardUserDefaults(), platform.console(), platform.fileSystem(),
                                  platform.documentDirectories().at(0));
  });
}

PersistenceManager::PersistenceManager(UserDefaults& defaults, Console& console, FileSystem& fileSystem,
                                       fs::path documentsDirectory)
    : documentsDirectory(std::move(documentsDirectory)),
      defaults_(defaults),
      console_(console),
      fileSystem_(fileSystem) {}

const std::filesystem::path& PersistenceManager::directory(std::optional<std::filesystem::path>& field,
                                                           const char* name) {
  if (!field) {
    auto url = documentsDirectory / name;
    if (!files::exists(url)) (void)files::createPrivateDirectories(fileSystem_, url);
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

bool PersistenceManager::saveHistory(const std::vector<ClipboardItem>& items) {
  const auto newest = std::span(items).first(std::min<size_t>(items.size(), maxHistoryItems));
  const auto pieces = encoded_.assemble(newest);
  const Status saved =
      pieces ? files::replaceFileAtomically(fileSystem_, historyFile(), pieces.value()) : Status(pieces.error());
  if (!saved) console_.printLine("Failed to save clipboard history: " + saved.error().description);
  return static_cast<bool>(saved);
}

std::optional<Bytes> PersistenceManager::readDataFile(const Uuid& storedFileId) {
  const auto file = dataDirectory() / storedFileId.uuidString();
  if (!files::exists(file)) return std::nullopt;
  auto bytes = files::readWholeFile(file);
  if (!bytes) {
    console_.printLine("Failed to load data file: " + bytes.error().description);
    return std::nullopt;
  }
  return std::move(bytes).value();
}

std::vector<ClipboardItem> PersistenceManager::loadHistory() {
  const fs::path file = historyFile();
  // What a save cut short by a kill left, or anything else under that name
  // (a link goes as a link); this process is the only writer.
  std::error_code ignored;
  fs::remove_all(files::temporaryFileOf(file), ignored);
  if (!files::exists(file)) return {};
  const auto bytes = files::readWholeFile(file);
  auto items = bytes ? decodeHistory(textViewOf(bytes.value()))
                     : Result<std::vector<ClipboardItem>>(bytes.error());
  if (items) return std::move(items).value();

  // Keep it from the next save: it may be the only record of the user's history.
  loadFailed_ = true;
  std::string line = "Failed to load clipboard history: " + items.error().description;
  if (const auto aside = files::moveAside(file, unreadableHistorySuffix)) {
    line += " (the file is kept as " + aside.value().string() + ")";
  } else {
    line += " (the file could not be kept aside: " + aside.error().description + ")";
  }
  console_.printLine(line);
  return {};
}

bool PersistenceManager::hasUnreadableHistory() const {
  if (loadFailed_) return true;
  const std::string keptAside = historyFileName + unreadableHistorySuffix;
  std::error_code error;
  for (fs::directory_iterator it(documentsDirectory, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename().string().starts_with(keptAside)) return true;
  }
  // A folder that cannot be read may hold one: keep everything then too.
  return error && error != std::errc::no_such_file_or_directory;
}

void PersistenceManager::savePreviewStyle(PreviewStyle style) {
  defaults_.setString(previewStyleKey, std::string(rawValue(style)));
}

PreviewStyle PersistenceManager::storedPreviewStyle() {
  const auto stored = defaults_.stringForKey(previewStyleKey);
  if (!stored) return PreviewStyle::temporary;
  return fromRaw<PreviewStyle>(*stored).value_or(PreviewStyle::temporary);
}

void PersistenceManager::deleteFiles(const Uuid& storedFileId) {
  const std::string name = storedFileId.uuidString();
  std::error_code ignored;
  fs::remove_all(dataDirectory() / name, ignored);
  fs::remove_all(thumbnailDirectory() / name, ignored);
}

void PersistenceManager::deleteAllFiles() {
  const auto keepNothing = [](const std::string&) { return false; };
  removeItems(dataDirectory(), keepNothing);
  removeItems(thumbnailDirectory(), keepNothing);
}

void PersistenceManager::removeOrphanedFiles(const std::vector<Uuid>& keep) {
  std::set<std::string> names;
  for (const auto& id : keep) names.insert(id.uuidString());
  const auto referenced = [&names](const std::string& name) { return names.contains(name); };
  removeItems(dataDirectory(), referenced);
  removeItems(thumbnailDirectory(), referenced);
}

}  // namespace bm
