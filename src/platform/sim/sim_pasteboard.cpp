#include "platform/sim/sim_pasteboard.h"

#include <algorithm>
#include <array>

namespace bm::sim {
namespace {

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

std::vector<Url> SimPasteboard::readUrls() {
  std::vector<Url> urls;
  for (const auto& item : items_)
    for (const auto& [type, bytes] : item)
      if (type == kPasteboardTypeFileURL)
        if (auto url = Url::parse(textOf(bytes))) urls.push_back(*url);
  return urls;
}

const Bytes* SimPasteboard::find(std::string_view type) const {
  for (const auto& item : items_)
    for (const auto& [itemType, bytes] : item)
      if (itemType == type) return &bytes;
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
  if (const Bytes* bytes = find(type)) return *bytes;
  if (type == kPasteboardTypeTIFF) return convertedToTIFF();
  return std::nullopt;
}

std::optional<std::string> SimPasteboard::stringForType(std::string_view type) {
  if (const Bytes* bytes = find(type)) return textOf(*bytes);
  return std::nullopt;
}

std::optional<std::string> SimPasteboard::availableTypeFromArray(const std::vector<std::string>& types) {
  for (const auto& type : types)
    if (find(type) || (type == kPasteboardTypeTIFF && convertedToTIFF())) return type;
  return std::nullopt;
}

std::int64_t SimPasteboard::clearContents() {
  items_.clear();
  return ++changeCount_;
}

bool SimPasteboard::setData(const Bytes& data, std::string_view type) {
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
  items_.push_back({{std::string(kPasteboardTypeTIFF), std::move(*tiff)}});
  return true;
}

bool SimPasteboard::writeFileUrls(const std::vector<Url>& urls) {
  for (const auto& url : urls) items_.push_back({{std::string(kPasteboardTypeFileURL), bytesOf(url.absoluteString())}});
  return true;
}

void SimPasteboard::copyItems(const std::vector<PasteboardItem>& items) {
  clearContents();
  items_ = items;
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
