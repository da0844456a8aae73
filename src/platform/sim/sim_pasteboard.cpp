#include "platform/sim/sim_pasteboard.h"

#include <algorithm>
#include <array>

#include "shared/utf8.h"

namespace bm::sim {
namespace {

// Text flavours, the one read first first; all hold UTF-8.
constexpr std::array<std::string_view, 2> kTextFlavours = {kPasteboardTypeString, "public.plain-text"};

// Image types the pasteboard converts to TIFF on request.
constexpr std::array<std::string_view, 6> kConvertibleImageTypes = {
    "public.png", "public.jpeg", "com.compuserve.gif", "com.microsoft.bmp", "org.webmproject.webp", "public.heic"};

bool isConvertibleImage(std::string_view type) {
  return std::find(kConvertibleImageTypes.begin(), kConvertibleImageTypes.end(), type) !=
         kConvertibleImageTypes.end();
}

}  // namespace

std::vector<std::string> SimPasteboard::types() {
  std::vector<std::string> result;
  for (const auto& item : items_)
    for (const auto& [type, bytes] : item)
      if (std::find(result.begin(), result.end(), type) == result.end()) result.push_back(type);
  return result;
}

// One URL object per item, its file URL type preferred; only file URLs are kept.
std::vector<Url> SimPasteboard::readUrls() {
  std::vector<Url> urls;
  for (const auto& item : items_) {
    const auto urlOfType = [&item](std::string_view wanted) -> std::optional<Url> {
      for (const auto& [type, bytes] : item)
        if (type == wanted) return Url::parse(textOf(bytes));
      return std::nullopt;
    };
    auto url = urlOfType(kPasteboardTypeFileURL);
    if (!url) url = urlOfType(kSimPasteboardTypeURL);
    if (url && url->isFileUrl()) urls.push_back(*url);
  }
  return urls;
}

const Bytes* SimPasteboard::find(std::string_view type) const {
  for (const auto& item : items_)
    for (const auto& [itemType, bytes] : item)
      if (itemType == type) return &bytes;
  return nullptr;
}

const Bytes* SimPasteboard::findText() const {
  for (const auto flavour : kTextFlavours)
    if (const Bytes* bytes = find(flavour)) return bytes;
  return nullptr;
}

std::optional<Bytes> SimPasteboard::convertedToTIFF() const {
  for (const auto& item : items_)
    for (const auto& [type, bytes] : item)
      if (isConvertibleImage(type))
        if (auto image = images_.decode(bytes)) return images_.tiffRepresentation(*image);
  return std::nullopt;
}

std::optional<Bytes> SimPasteboard::dataForType(std::string_view type) {
  if (type == kPasteboardTypeString)
    if (const Bytes* text = findText()) return *text;
  if (const Bytes* bytes = find(type)) return *bytes;
  if (type == kPasteboardTypeTIFF) return convertedToTIFF();
  return std::nullopt;
}

std::optional<std::string> SimPasteboard::stringForType(std::string_view type) {
  if (type == kPasteboardTypeString) {
    for (const auto flavour : kTextFlavours)
      if (const Bytes* bytes = find(flavour); bytes && isValidUtf8(textViewOf(*bytes))) return textOf(*bytes);
    return std::nullopt;
  }
  if (const Bytes* bytes = find(type); bytes && isValidUtf8(textViewOf(*bytes))) return textOf(*bytes);
  return std::nullopt;
}

std::optional<std::string> SimPasteboard::availableTypeFromArray(const std::vector<std::string>& types) {
  for (const auto& type : types)
    if (find(type) || (type == kPasteboardTypeString && findText()) ||
        (type == kPasteboardTypeTIFF && convertedToTIFF()))
      return type;
  return std::nullopt;
}

std::int64_t SimPasteboard::clearContents() {
  items_.clear();
  ownedHere_ = true;
  ++changeCount_;
  if (observer_ && reportsChanges) observer_();
  return changeCount_;
}

void SimPasteboard::ownBeforeWriting() {
  if (!ownedHere_) clearContents();
}

bool SimPasteboard::setData(const Bytes& data, std::string_view type) {
  ownBeforeWriting();
  if (items_.empty()) items_.emplace_back();
  auto& item = items_.front();
  std::erase_if(item, [&](const auto& entry) { return entry.first == type; });
  item.emplace_back(std::string(type), data);
  return true;
}

bool SimPasteboard::setString(const std::string& text, std::string_view type) { return setData(bytesOf(text), type); }

bool SimPasteboard::writeImage(const Image& image) {
  auto tiff = images_.tiffRepresentation(image);
  if (!tiff) return false;
  ownBeforeWriting();
  items_.push_back({{std::string(kPasteboardTypeTIFF), std::move(*tiff)}});
  return true;
}

bool SimPasteboard::writeFileUrls(const std::vector<Url>& urls) {
  ownBeforeWriting();
  for (const auto& url : urls) items_.push_back({{std::string(kPasteboardTypeFileURL), bytesOf(url.absoluteString())}});
  return true;
}

void SimPasteboard::copyItems(const std::vector<PasteboardItem>& items) {
  clearContents();
  items_ = items;
  ownedHere_ = false;
}

void SimPasteboard::copyText(const std::string& text) {
  copyItems({{{std::string(kPasteboardTypeString), bytesOf(text)}}});
}

// As a file manager copies: one item per file, its URL and its name as text.
void SimPasteboard::copyFiles(const std::vector<std::filesystem::path>& paths) {
  std::vector<PasteboardItem> items;
  for (const auto& path : paths) {
    const auto url = Url::fileUrlWithPath(path.string());
    items.push_back({{std::string(kPasteboardTypeFileURL), bytesOf(url.absoluteString())},
                     {std::string(kPasteboardTypeString), bytesOf(url.lastPathComponent())}});
  }
  copyItems(items);
}

void SimPasteboard::copyUrls(const std::vector<std::string>& urls) {
  std::vector<PasteboardItem> items;
  for (const auto& text : urls) {
    const auto url = Url::parse(text);
    const std::string_view type = url && url->isFileUrl() ? kPasteboardTypeFileURL : kSimPasteboardTypeURL;
    items.push_back({{std::string(type), bytesOf(text)}, {std::string(kPasteboardTypeString), bytesOf(text)}});
  }
  copyItems(items);
}

void SimPasteboard::copyImage(const Bytes& encoded, const std::string& type) { copyItems({{{type, encoded}}}); }

void SimPasteboard::copyFromBrowser(const std::string& html, const std::string& sourceUrl,
                                    const std::string* plainText) {
  PasteboardItem item{{std::string(kPasteboardTypeHTML), bytesOf(html)},
                      {std::string(kPasteboardTypeChromiumSourceURL), bytesOf(sourceUrl)}};
  if (plainText) item.emplace_back(std::string(kPasteboardTypeString), bytesOf(*plainText));
  copyItems({item});
}

void SimPasteboard::copyNothing() { copyItems({}); }

}  // namespace bm::sim
