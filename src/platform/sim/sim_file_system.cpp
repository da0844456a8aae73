#include "platform/sim/sim_file_system.h"

namespace bm::sim {

void SimFileSystem::fillUpAtWrite(int n, int error) {
  failFrom_ = writes_ + n;
  failTo_.reset();
  error_ = error;
}

void SimFileSystem::failOneWrite(int n, int error) {
  failFrom_ = failTo_ = writes_ + n;
  error_ = error;
}

ssize_t SimFileSystem::writev(int fd, const iovec* chunks, int count) {
  ++writes_;
  if (failFrom_ && writes_ >= *failFrom_ && (!failTo_ || writes_ <= *failTo_)) {
    ++failed_;
    errno = error_;
    return -1;
  }
  return PosixFileSystem::writev(fd, chunks, count);
}

}  // namespace bm::sim
