#include "shared/file_bookmarks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "shared/files.h"

namespace bm {
namespace {
constexpr int kFormatVersion = 1;
}

Result<Bytes> FileBookmarks::createBookmark(const Url& fileUrl) {
  if (!fileUrl.isFileUrl()) return Error{"Not a file URL: " + fileUrl.absoluteString()};
  struct stat info {};
  if (::stat(fileUrl.path().c_str(), &info) != 0) return files::errnoError(errno, fileUrl.path());
  const nlohmann::json bookmark = {{"bookmark", kFormatVersion},
                                   {"path", fileUrl.path()},
                                   {"device", static_cast<std::uint64_t>(info.st_dev)},
                                   {"inode", static_cast<std::uint64_t>(info.st_ino)}};
  return bytesOf(bookmark.dump());
}

Result<ResolvedBookmark> FileBookmarks::resolveBookmark(const Bytes& bookmark) {
  const auto json = nlohmann::json::parse(bookmark.begin(), bookmark.end(), nullptr, false);
  const auto field = [&json](const char* key) -> const nlohmann::json* {
    const auto found = json.find(key);
    return found == json.end() ? nullptr : &*found;
  };
  const auto* version = json.is_object() ? field("bookmark") : nullptr;
  const auto* bookmarkedPath = json.is_object() ? field("path") : nullptr;
  const auto* device = json.is_object() ? field("device") : nullptr;
  const auto* inode = json.is_object() ? field("inode") : nullptr;
  if (!version || *version != kFormatVersion || !bookmarkedPath || !bookmarkedPath->is_string() || !device ||
      !device->is_number_unsigned() || !inode || !inode->is_number_unsigned()) {
    return Error{"The bookmark data is not a bookmark of this system"};
  }
  // The identity stays part of the format, but a file saved since (a new
  // inode at the same path) is still the document that was bookmarked.
  const auto path = currentLocation(bookmarkedPath->get<std::string>());
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return files::errnoError(errno, path);
  return ResolvedBookmark{Url::fileUrlWithPath(path), false};
}

bool FileBookmarks::startAccessing(const Url& url) {
  return url.isFileUrl() && ::access(url.path().c_str(), R_OK) == 0;
}

void FileBookmarks::stopAccessing(const Url&) {}

}  // namespace bm
