#pragma once

#include "platform/file_system.h"

namespace bm {

// The calls as the kernel answers them.
class PosixFileSystem : public FileSystem {
 public:
  int open(const char* path, int flags, mode_t mode) override;
  ssize_t writev(int fd, const iovec* chunks, int count) override;
  int fsync(int fd) override;
  int close(int fd) override;
  int rename(const char* from, const char* to) override;
  int mkdir(const char* path, mode_t mode) override;
};

// The one PosixFileSystem of the process; it holds no state.
FileSystem& posixFileSystem();

}  // namespace bm
