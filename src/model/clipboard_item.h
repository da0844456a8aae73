#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "model/raw_value.h"
#include "model/uuid.h"
#include "platform/bytes.h"
#include "platform/date.h"

namespace bm {

// The kind of a history entry.
enum class ItemType { text, image, file, data };

template <>
struct RawValues<ItemType> {
  static constexpr std::array<std::pair<ItemType, std::string_view>, 4> table{{
      {ItemType::text, "text"},
      {ItemType::image, "image"},
      {ItemType::file, "file"},
      {ItemType::data, "data"},
  }};
};

// How the newest entry is previewed beside the status icon. The raw values
// are the stored preference and the menu titles.
enum class PreviewStyle { always, temporary, hidden };

template <>
struct RawValues<PreviewStyle> {
  static constexpr std::array<std::pair<PreviewStyle, std::string_view>, 3> table{{
      {PreviewStyle::always, "Show always"},
      {PreviewStyle::temporary, "Show for 5 seconds"},
      {PreviewStyle::hidden, "Hide"},
  }};
};

// The payload of an entry: what goes back on the pasteboard when it is chosen.
//
// A text may run to hundreds of megabytes, and an entry is copied into its
// menu item and the menu on screen: the copies share the one text, which
// never changes once made.
class TextContent {
 public:
  TextContent() : text_(std::make_shared<const std::string>()) {}
  explicit TextContent(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}
  // Copied, never moved: a moved-from content would hold no text.
  TextContent(const TextContent&) = default;
  TextContent& operator=(const TextContent&) = default;
  const std::string& text() const { return *text_; }

 private:
  std::shared_ptr<const std::string> text_;
};
// The stored-file id names the data file (and the thumbnail); it is not the entry's id.
struct ImageContent {
  Uuid storedFileId;
};
// One path and one bookmark per copied file, index by index.
struct FileContent {
  std::vector<std::string> paths;
  std::vector<Bytes> bookmarks;
};
struct DataContent {
  Uuid storedFileId;
};

using ClipboardContent = std::variant<TextContent, ImageContent, FileContent, DataContent>;

// The stored-file id of an image or data content; nothing for text and files.
inline std::optional<Uuid> storedFileIdOf(const ClipboardContent& content) {
  if (const auto* image = std::get_if<ImageContent>(&content)) return image->storedFileId;
  if (const auto* data = std::get_if<DataContent>(&content)) return data->storedFileId;
  return std::nullopt;
}

// Field for field: the same case, text, paths, bookmark bytes and stored-file
// ids. For checking that a value came back unchanged; whether two copies are
// the same content is for duplicate detection (contentsMatch) to say.
inline bool identicalContents(const ClipboardContent& a, const ClipboardContent& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& first) {
        using C = std::decay_t<decltype(first)>;
        const C& second = std::get<C>(b);
        if constexpr (std::is_same_v<C, TextContent>) return first.text() == second.text();
        if constexpr (std::is_same_v<C, FileContent>)
          return first.paths == second.paths && first.bookmarks == second.bookmarks;
        if constexpr (std::is_same_v<C, ImageContent> || std::is_same_v<C, DataContent>)
          return first.storedFileId == second.storedFileId;
      },
      a);
}

// One history entry. Entries are never changed once made; two entries are
// the same entry exactly when their ids are equal.
struct ClipboardItem {
  Uuid id;
  Date timestamp;
  ClipboardContent content;
  ItemType type;
  std::string displayText;
};

}  // namespace bm
