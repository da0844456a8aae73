#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <string>

#include <algorithm>
#include <functional>
#include <optional>

#include "app/app_delegate.h"
#include "shared/files.h"

namespace bm {
namespace {

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The canonical decomposition (NFD): canonically equivalent texts, such as a
// precomposed and a decomposed accented letter, have the same one.
icu::UnicodeString decomposed(const std::string& text) {
  const icu::UnicodeString utf16 = icu::UnicodeString::fromUTF8(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) return utf16;
  icu::UnicodeString result = nfd->normalize(utf16, status);
  return U_SUCCESS(status) ? result : utf16;
}

// `copiedDecomposed` gives the copied text's decomposition, made when first needed.
bool textsMatch(const std::string& existing, const std::string& copied,
                const std::function<const icu::UnicodeString&()>& copiedDecomposed) {
  if (existing == copied) return true;
  if (isAscii(existing) && isAscii(copied)) return false;  // ASCII is its own decomposition
  return decomposed(existing) == copiedDecomposed();
}

}  // namespace

// What the new content is compared by, made once per insertion: a history
// of large texts or images would otherwise convert or read it once per
// earlier entry.
class AppDelegate::NewContent {
 public:
  NewContent(const ClipboardContent& content, PersistenceManager& storage) : content_(content), storage_(storage) {}

  const ClipboardContent& content() const { return content_; }

  // The new text's decomposition.
  const icu::UnicodeString& decomposedText() {
    if (!text_) text_ = decomposed(std::get<TextContent>(content_).text());
    return *text_;
  }

  // The new data file's bytes; nothing when it is missing or unreadable.
  const std::optional<Bytes>& dataFileBytes() {
    if (!dataFileBytes_) dataFileBytes_ = storage_.readDataFile(*storedFileIdOf(content_));
    return *dataFileBytes_;
  }

 private:
  const ClipboardContent& content_;
  PersistenceManager& storage_;
  std::optional<icu::UnicodeString> text_;
  std::optional<std::optional<Bytes>> dataFileBytes_;
};

void AppDelegate::addToHistory(const ClipboardContent& content, ItemType type, const std::string& displayText) {
  ClipboardItem item{Uuid::random(), platform_.mainLoop().now(), content, type, displayText};

  NewContent newContent(content, *persistenceManager);
  std::optional<Uuid> removedFiles;
  const auto match = std::find_if(clipboardHistory.begin(), clipboardHistory.end(), [&](const ClipboardItem& existing) {
    return contentsMatch(existing, type, newContent);
  });
  if (match != clipboardHistory.end()) {
    removedFiles = storedFileIdOf(match->content);
    clipboardHistory.erase(match);
  }
  clipboardHistory.insert(clipboardHistory.begin(), std::move(item));

  // The replaced entry's files go only once a saved history no longer names
  // them; after a failed save the old file still does.
  const bool saved = persistenceManager->saveHistory(clipboardHistory);
  if (saved && removedFiles) persistenceManager->deleteFiles(*removedFiles);
  rebuildMenu();
}

bool AppDelegate::contentsMatch(const ClipboardItem& existing, ItemType type, const ClipboardContent& content) {
  NewContent newContent(content, *persistenceManager);
  return contentsMatch(existing, type, newContent);
}

bool AppDelegate::contentsMatch(const ClipboardItem& existing, ItemType type, NewContent& newContent) {
  if (existing.type != type) return false;
  const ClipboardContent& content = newContent.content();
  if (existing.content.index() != content.index()) return false;

  if (const auto* text = std::get_if<TextContent>(&existing.content)) {
    return textsMatch(text->text(), std::get<TextContent>(content).text(),
                      [&newContent]() -> const icu::UnicodeString& { return newContent.decomposedText(); });
  }
  if (const auto* files = std::get_if<FileContent>(&existing.content)) {
    const auto& newFiles = std::get<FileContent>(content);
    if (files->paths.size() != newFiles.paths.size()) return false;
    for (size_t i = 0; i < files->paths.size(); ++i) {
      const auto& newPath = newFiles.paths[i];
      icu::UnicodeString newDecomposed;
      const auto copiedDecomposed = [&]() -> const icu::UnicodeString& { return newDecomposed = decomposed(newPath); };
      if (!textsMatch(files->paths[i], newPath, copiedDecomposed)) return false;
    }
    return files->bookmarks == newFiles.bookmarks;
  }

  // Image or data: the data files decide, the existing one first. It is
  // streamed against the new one's bytes, which are read once per insertion.
  const auto existingFile = persistenceManager->dataDirectory() / storedFileIdOf(existing.content)->uuidString();
  if (!files::exists(existingFile)) return !newContent.dataFileBytes();
  // Comparing with no bytes opens the file without reading it through.
  if (const auto readable = files::holdsExactly(existingFile, {}); !readable) {
    platform_.console().printLine("Failed to load data file: " + readable.error().description);
    return !newContent.dataFileBytes();
  }
  const auto& newBytes = newContent.dataFileBytes();
  if (!newBytes) return false;
  const auto same = files::holdsExactly(existingFile, *newBytes);
  if (!same) {
    platform_.console().printLine("Failed to load data file: " + same.error().description);
    return false;
  }
  return same.value();
}

}  // namespace bm
