#include "shared/file_bookmark_codec.h"

#include <nlohmann/json.hpp>

namespace bm {
namespace {
constexpr int kFormatVersion = 1;
}

Bytes encodeFileBookmark(const FileBookmarkRecord& record) {
  const nlohmann::json bookmark = {
      {"bookmark", kFormatVersion}, {"path", record.path}, {"device", record.device}, {"inode", record.inode}};
  return bytesOf(bookmark.dump());
}

Result<FileBookmarkRecord> decodeFileBookmark(const Bytes& bookmark) {
  const auto json = nlohmann::json::parse(bookmark.begin(), bookmark.end(), nullptr, false);
  const auto field = [&json](const char* key) -> const nlohmann::json* {
    const auto found = json.find(key);
    return found == json.end() ? nullptr : &*found;
  };
  const auto* version = json.is_object() ? field("bookmark") : nullptr;
  const auto* path = json.is_object() ? field("path") : nullptr;
  const auto* device = json.is_object() ? field("device") : nullptr;
  const auto* inode = json.is_object() ? field("inode") : nullptr;
  if (!version || *version != kFormatVersion || !path || !path->is_string() || !device ||
      !device->is_number_unsigned() || !inode || !inode->is_number_unsigned()) {
    return Error{"The bookmark data is not a bookmark of this system"};
  }
  return FileBookmarkRecord{path->get<std::string>(), device->get<std::uint64_t>(), inode->get<std::uint64_t>()};
}

}  // namespace bm
