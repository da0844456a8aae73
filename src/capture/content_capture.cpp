#include <algorithm>
#include <optional>

#include "app/app_delegate.h"
#include "capture/display_text.h"
#include "model/pasteboard_snapshot.h"
#include "shared/files.h"
#include "shared/utf8.h"
#include "storage/path_hash.h"

namespace bm {
namespace {

// Password managers mark what they copy so that clipboard histories leave it alone.
constexpr std::string_view kConcealedType = "org.nspasteboard.ConcealedType";
constexpr std::string_view kTransientType = "org.nspasteboard.TransientType";
constexpr std::string_view kPasswordManagerHintType = "x-kde-passwordManagerHint";

constexpr Size kThumbnailSize{64, 64};
constexpr double kThumbnailQuality = 0.7;
constexpr std::string_view kFigmaHost = "figma.com";

bool contains(const std::vector<std::string>& types, std::string_view type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

}  // namespace

// What one kind's step made of the pasteboard.
struct AppDelegate::Capture {
  enum class Verdict { notThisKind, noEntry, entry };
  Verdict verdict = Verdict::notThisKind;
  ClipboardContent content;
  ItemType type = ItemType::text;
  std::string displayText;
  std::optional<Image> image;  // the full image an image entry previews

  static Capture notThisKind() { return {}; }
  static Capture noEntry() {
    Capture capture;
    capture.verdict = Verdict::noEntry;
    return capture;
  }
  static Capture entry(ClipboardContent content, ItemType type, std::string displayText) {
    return {Verdict::entry, std::move(content), type, std::move(displayText), std::nullopt};
  }
};

void AppDelegate::captureContent(Pasteboard& pasteboard) {
  if (isConcealed(pasteboard)) return;
  for (auto step : {&AppDelegate::captureFiles, &AppDelegate::captureImage, &AppDelegate::captureFigmaCopy,
                    &AppDelegate::capturePlainText, &AppDelegate::captureOtherData}) {
    Capture capture = (this->*step)(pasteboard);
    if (capture.verdict == Capture::Verdict::notThisKind) continue;
    if (capture.verdict == Capture::Verdict::entry) {
      addToHistory(capture.content, capture.type, capture.displayText);
      updateStatusButton(capture.displayText);
      if (capture.image) showImagePreview(*capture.image);
    }
    return;
  }
}

bool AppDelegate::isConcealed(Pasteboard& pasteboard) {
  const auto types = pasteboard.types();
  if (contains(types, kConcealedType) || contains(types, kTransientType)) return true;
  return contains(types, kPasswordManagerHintType) &&
         pasteboard.dataForType(kPasswordManagerHintType) == bytesOf("secret");
}

AppDelegate::Capture AppDelegate::captureFiles(Pasteboard& pasteboard) {
  const auto urls = pasteboard.readUrls();
  if (urls.empty()) return Capture::notThisKind();
  FileContent files;
  for (const auto& url : urls) {
    // A name that is not UTF-8 could never be saved in the history.
    if (!isValidUtf8(url.path())) continue;
    auto bookmark = platform_.bookmarks().createBookmark(url);
    if (!bookmark) continue;
    files.paths.push_back(url.path());
    files.bookmarks.push_back(std::move(bookmark).value());
    // The entry carries the bookmark itself; this file is only a spare.
    const auto spare = persistenceManager->bookmarksDirectory() / bookmarkFileName(url.path());
    (void)files::writeWholeFile(platform_.fileSystem(), spare, files.bookmarks.back());
  }
  if (files.paths.empty()) return Capture::noEntry();
  return Capture::entry(std::move(files), ItemType::file, makeFileDisplayText(urls));
}

AppDelegate::Capture AppDelegate::captureImage(Pasteboard& pasteboard) {
  const auto tiff = pasteboard.dataForType(kPasteboardTypeTIFF);
  if (!tiff) return Capture::notThisKind();
  auto image = platform_.images().decode(*tiff);
  if (!image) return Capture::notThisKind();

  const Uuid storedFileId = Uuid::random();
  writeDataFile(storedFileId, *tiff);
  writeThumbnail(storedFileId, *image);
  Capture capture = Capture::entry(ImageContent{storedFileId}, ItemType::image, "Image");
  capture.image = std::move(*image);
  return capture;
}

// A 64 x 64 stretched JPEG; without one the menu shows no picture, so any
// failure here is silent.
void AppDelegate::writeThumbnail(const Uuid& storedFileId, const Image& image) {
  ImageCodec& images = platform_.images();
  const Image small = images.redraw(image, kThumbnailSize, ImageInterpolation::high);
  const auto tiff = images.tiffRepresentation(small);
  const auto bitmap = tiff ? images.decode(*tiff) : std::nullopt;
  const auto jpeg = bitmap ? images.jpegRepresentation(*bitmap, kThumbnailQuality) : std::nullopt;
  if (!jpeg) return;
  const auto file = persistenceManager->thumbnailDirectory() / storedFileId.uuidString();
  (void)files::writeWholeFile(platform_.fileSystem(), file, *jpeg);
}

AppDelegate::Capture AppDelegate::captureFigmaCopy(Pasteboard& pasteboard) {
  const auto types = pasteboard.types();
  if (!contains(types, kPasteboardTypeChromiumSourceURL) || !contains(types, kPasteboardTypeHTML))
    return Capture::notThisKind();
  const auto sourceUrl = pasteboard.stringForType(kPasteboardTypeChromiumSourceURL);
  if (!sourceUrl || sourceUrl->find(kFigmaHost) == std::string::npos) return Capture::notThisKind();

  const auto text = pasteboard.stringForType(kPasteboardTypeString);
  std::string displayText = text ? makeDisplayText(*text, "Figma: ") : "Figma data";

  PasteboardSnapshot snapshot;
  for (const auto& type : pasteboard.types())
    if (auto bytes = pasteboard.dataForType(type)) snapshot.emplace_back(type, std::move(*bytes));
  // An owner that went away while it was read leaves part of a copy, or none.
  if (pasteboard.types().empty()) return Capture::noEntry();
  const auto document = encodePasteboardSnapshot(snapshot);
  if (!document) return Capture::noEntry();

  const Uuid storedFileId = Uuid::random();
  writeDataFile(storedFileId, bytesOf(document.value()));
  return Capture::entry(DataContent{storedFileId}, ItemType::data, std::move(displayText));
}

AppDelegate::Capture AppDelegate::capturePlainText(Pasteboard& pasteboard) {
  auto text = pasteboard.stringForType(kPasteboardTypeString);
  if (!text || !isValidUtf8(*text)) return Capture::notThisKind();
  std::string displayText = makeDisplayText(*text, "");
  return Capture::entry(TextContent{std::move(*text)}, ItemType::text, std::move(displayText));
}

// Kept as a one-type snapshot, so that restoring can offer the bytes under
// their own type again.
AppDelegate::Capture AppDelegate::captureOtherData(Pasteboard& pasteboard) {
  const auto type = pasteboard.availableTypeFromArray(pasteboard.types());
  if (!type) return Capture::noEntry();
  auto bytes = pasteboard.dataForType(*type);
  if (!bytes) return Capture::noEntry();

  const auto document = encodePasteboardSnapshot({{*type, *bytes}});
  const Uuid storedFileId = Uuid::random();
  writeDataFile(storedFileId, document ? bytesOf(document.value()) : *bytes);
  return Capture::entry(DataContent{storedFileId}, ItemType::data, "Data");
}

void AppDelegate::writeDataFile(const Uuid& storedFileId, const Bytes& bytes) {
  const auto file = persistenceManager->dataDirectory() / storedFileId.uuidString();
  const auto written = files::writeWholeFile(platform_.fileSystem(), file, bytes);
  if (!written) platform_.console().printLine("Failed to save data file: " + written.error().description);
}

}  // namespace bm
