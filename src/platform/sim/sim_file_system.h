#pragma once

#include <cerrno>
#include <optional>

#include "shared/posix_file_system.h"

namespace bm::sim {

// The machine's real files, on a disk that a test can fill up: from a
// chosen write on, every write fails as on a full disk until room is made.
class SimFileSystem : public PosixFileSystem {
 public:
  // The `n`-th write from now (1: the next) and every one after it fail
  // with `error`.
  void fillUpAtWrite(int n, int error = ENOSPC);
  // Only the `n`-th write from now fails, as when room is made at once.
  void failOneWrite(int n, int error = ENOSPC);
  void makeRoom() { failFrom_.reset(); }

  // Writes attempted so far, failed ones included.
  long writesAttempted() const { return writes_; }
  long writesFailed() const { return failed_; }

  ssize_t writev(int fd, const iovec* chunks, int count) override;

 private:
  long writes_ = 0;
  long failed_ = 0;
  std::optional<long> failFrom_;
  std::optional<long> failTo_;  // the last write that fails; none: all from failFrom_
  int error_ = ENOSPC;
};

}  // namespace bm::sim
