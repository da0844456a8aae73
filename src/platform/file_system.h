#pragma once

#include <sys/types.h>
#include <sys/uio.h>

namespace bm {

// The system calls that fail when the disk is full. Every write of the
// history and of the stored files passes here, so that a test can make the
// disk fill up at any one of them; reading, renaming aside and removing go
// to the system directly.
//
// Each behaves as the POSIX call of the same name: -1 with errno set on
// failure.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual int open(const char* path, int flags, mode_t mode) = 0;
  virtual ssize_t writev(int fd, const iovec* chunks, int count) = 0;
  virtual int fsync(int fd) = 0;
  virtual int close(int fd) = 0;
  virtual int rename(const char* from, const char* to) = 0;
  virtual int mkdir(const char* path, mode_t mode) = 0;
};

}  // namespace bm
