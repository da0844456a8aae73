#include "shared/posix_file_system.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bm {

int PosixFileSystem::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
ssize_t PosixFileSystem::writev(int fd, const iovec* chunks, int count) { return ::writev(fd, chunks, count); }
int PosixFileSystem::fsync(int fd) { return ::fsync(fd); }
int PosixFileSystem::close(int fd) { return ::close(fd); }
int PosixFileSystem::rename(const char* from, const char* to) { return ::rename(from, to); }
int PosixFileSystem::mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }

FileSystem& posixFileSystem() {
  static PosixFileSystem system;
  return system;
}

}  // namespace bm
