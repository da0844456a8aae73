#include "shared/file_bookmarks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shared/file_bookmark_codec.h"
#include "shared/files.h"

namespace bm {

Result<Bytes> FileBookmarks::createBookmark(const Url& fileUrl) {
  if (!fileUrl.isFileUrl()) return Error{"Not a file URL: " + fileUrl.absoluteString()};
  struct stat info {};
  if (::stat(fileUrl.path().c_str(), &info) != 0) return files::errnoError(errno, fileUrl.path());
  return encodeFileBookmark(
      {fileUrl.path(), static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)});
}

Result<ResolvedBookmark> FileBookmarks::resolveBookmark(const Bytes& bookmark) {
  const auto record = decodeFileBookmark(bookmark);
  if (!record) return record.error();
  // The identity stays part of the format, but a file saved since (a new
  // inode at the same path) is still the document that was bookmarked.
  const auto path = currentLocation(record.value().path);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return files::errnoError(errno, path);
  return ResolvedBookmark{Url::fileUrlWithPath(path), false};
}

bool FileBookmarks::startAccessing(const Url& url) {
  return url.isFileUrl() && ::access(url.path().c_str(), R_OK) == 0;
}

void FileBookmarks::stopAccessing(const Url&) {}

}  // namespace bm
