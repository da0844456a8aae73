#include "platform/qt/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace bm::qt {

std::optional<SingleInstanceLock> SingleInstanceLock::acquire(const std::filesystem::path& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return SingleInstanceLock(fd);
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace bm::qt
