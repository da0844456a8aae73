#include "platform/file_bookmarks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "platform/files.h"

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
  if (!json.is_object() || json.value("bookmark", 0) != kFormatVersion || !json["path"].is_string() ||
      !json["device"].is_number_unsigned() || !json["inode"].is_number_unsigned()) {
    return Error{"The bookmark data is not a bookmark of this system"};
  }
  const auto path = currentLocation(json["path"].get<std::string>());
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return files::errnoError(errno, path);
  const bool sameFile = info.st_dev == json["device"].get<std::uint64_t>() &&
                        info.st_ino == json["inode"].get<std::uint64_t>();
  return ResolvedBookmark{Url::fileUrlWithPath(path), !sameFile};
}

bool FileBookmarks::startAccessing(const Url& url) {
  return url.isFileUrl() && ::access(url.path().c_str(), R_OK) == 0;
}

void FileBookmarks::stopAccessing(const Url&) {}

}  // namespace bm
