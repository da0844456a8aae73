#pragma once

#include "platform/bookmarks.h"

namespace bm {

// Bookmarks on a POSIX file system. A bookmark records the file's path and
// identity (device and inode): it resolves while a file is at that path,
// stale when it is another file than the one bookmarked. There is no sandbox,
// so access is granted whenever the file is readable.
class FileBookmarks : public Bookmarks {
 public:
  Result<Bytes> createBookmark(const Url& fileUrl) override;
  Result<ResolvedBookmark> resolveBookmark(const Bytes& bookmark) override;
  bool startAccessing(const Url& url) override;
  void stopAccessing(const Url& url) override;

 protected:
  // Where the file bookmarked at `path` is to be found now. The file system
  // keeps no record of moves, so here: where it was.
  virtual std::string currentLocation(const std::string& path) { return path; }
};

}  // namespace bm
