#pragma once

#include "platform/bytes.h"
#include "platform/result.h"
#include "platform/url.h"

namespace bm {

struct ResolvedBookmark {
  Url url;     // where the file is now
  bool stale;  // the bookmark should be made again
};

// Security-scoped bookmarks: opaque bytes that find a file again later, and
// scoped access to what they resolve to.
class Bookmarks {
 public:
  virtual ~Bookmarks() = default;
  virtual Result<Bytes> createBookmark(const Url& fileUrl) = 0;
  virtual Result<ResolvedBookmark> resolveBookmark(const Bytes& bookmark) = 0;
  // True when access was granted; each grant is ended by one stopAccessing.
  virtual bool startAccessing(const Url& url) = 0;
  virtual void stopAccessing(const Url& url) = 0;
};

}  // namespace bm
