#pragma once

#include <filesystem>
#include <optional>

namespace bm::qt {

// Holds an exclusive lock on a directory for the life of the process, so
// that one instance at a time works on it. The lock ends with the process,
// however it ends.
class SingleInstanceLock {
 public:
  // Empty when another process holds the lock (or the directory cannot be opened).
  static std::optional<SingleInstanceLock> acquire(const std::filesystem::path& directory);
  SingleInstanceLock(SingleInstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  SingleInstanceLock& operator=(SingleInstanceLock&&) = delete;
  ~SingleInstanceLock();

 private:
  explicit SingleInstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace bm::qt
