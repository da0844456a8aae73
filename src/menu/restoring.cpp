#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/app_delegate.h"
#include "model/pasteboard_snapshot.h"
#include "storage/path_hash.h"

namespace bm {

void AppDelegate::menuItemClicked(const MenuItem& sender) { restoreItem(sender); }

void AppDelegate::restoreItem(const MenuItem& sender) {
  const auto* chosen = std::any_cast<ClipboardItem>(&sender.representedObject());
  if (!chosen) return;

  Pasteboard& pasteboard = platform_.generalPasteboard();
  pasteboard.clearContents();
  if (const auto* text = std::get_if<TextContent>(&chosen->content))
    pasteboard.setString(text->text(), kPasteboardTypeString);
  if (const auto* image = std::get_if<ImageContent>(&chosen->content)) restoreImage(pasteboard, *image);
  if (const auto* files = std::get_if<FileContent>(&chosen->content)) restoreFiles(pasteboard, *files);
  if (const auto* data = std::get_if<DataContent>(&chosen->content)) restoreData(pasteboard, *data);

  // The history moves on even when nothing could be written, unless the
  // entry left it while the menu was open.
  const auto found = std::find_if(clipboardHistory.begin(), clipboardHistory.end(),
                                  [&](const ClipboardItem& entry) { return entry.id == chosen->id; });
  if (found == clipboardHistory.end()) return;
  std::rotate(clipboardHistory.begin(), found, found + 1);
  persistenceManager->saveHistory(clipboardHistory);
  rebuildMenu();
  cancelPreviewTimer();
  updateStatusButton(clipboardHistory.front().displayText);
}

void AppDelegate::restoreImage(Pasteboard& pasteboard, const ImageContent& content) {
  const auto bytes = persistenceManager->readDataFile(content.storedFileId);
  if (!bytes) return;
  if (const auto image = platform_.images().decode(*bytes)) pasteboard.writeImage(*image);
}

// Each file is written where its bookmark finds it now. A bookmark that no
// longer serves (stale, or access refused) loses its spare file; one that
// cannot be resolved at all is only left out.
void AppDelegate::restoreFiles(Pasteboard& pasteboard, const FileContent& content) {
  Bookmarks& bookmarks = platform_.bookmarks();
  std::vector<Url> accessed;
  const size_t pairs = std::min(content.paths.size(), content.bookmarks.size());
  for (size_t i = 0; i < pairs; ++i) {
    const auto resolved = bookmarks.resolveBookmark(content.bookmarks[i]);
    if (!resolved) continue;
    if (!resolved.value().stale && bookmarks.startAccessing(resolved.value().url)) {
      accessed.push_back(resolved.value().url);
      continue;
    }
    std::error_code ignored;
    std::filesystem::remove(persistenceManager->bookmarksDirectory() / bookmarkFileName(content.paths[i]), ignored);
  }

  if (!accessed.empty()) {
    std::vector<Url> urls;
    for (const Url& url : accessed) urls.push_back(Url::fileUrlWithPath(url.path()));
    pasteboard.writeFileUrls(urls);
    // Each grant ends on the URL it was given for.
    for (const Url& url : accessed) bookmarks.stopAccessing(url);
  } else if (!content.paths.empty()) {
    pasteboard.setString(lastPathComponent(content.paths.front()), kPasteboardTypeString);
  }
}

// A snapshot goes back type by type, in the order it was taken. Bytes that
// are no snapshot were kept without their type, so only a type already on
// offer can carry them.
void AppDelegate::restoreData(Pasteboard& pasteboard, const DataContent& content) {
  const auto bytes = persistenceManager->readDataFile(content.storedFileId);
  if (!bytes) return;
  if (const auto snapshot = decodePasteboardSnapshot(textViewOf(*bytes))) {
    pasteboard.clearContents();
    for (const auto& [type, typeBytes] : snapshot.value()) pasteboard.setData(typeBytes, type);
    return;
  }
  const auto types = pasteboard.types();
  if (!types.empty()) pasteboard.setData(*bytes, types.front());
}

}  // namespace bm
