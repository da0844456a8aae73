#pragma once

#include "platform/bookmarks.h"

namespace bm {

// Bookmarks on a POSIX file system. A bookmark records the file's path, and
// its identity (device and inode) for information only: it resolves to
// whatever file stands at that path, since editors save through a temporary
// file and a rename, which gives the same document a new inode. It fails when
// nothing is there. There is no sandbox, so access is granted whenever the
// file can be read.
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
