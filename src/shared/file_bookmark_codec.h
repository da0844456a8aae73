#pragma once

#include <cstdint>
#include <string>

#include "platform/bytes.h"
#include "platform/result.h"

namespace bm {

// What a file bookmark records: the file's path, and its identity (device and
// inode) for information only.
struct FileBookmarkRecord {
  std::string path;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  bool operator==(const FileBookmarkRecord&) const = default;
};

// One compact JSON object with the format's version. The path must be valid
// UTF-8; the JSON writer throws otherwise.
Bytes encodeFileBookmark(const FileBookmarkRecord& record);

// Only reads the bytes: whether anything stands at the path is for resolving
// to find out.
Result<FileBookmarkRecord> decodeFileBookmark(const Bytes& bookmark);

}  // namespace bm
