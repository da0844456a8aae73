#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bm::files {
namespace fs = std::filesystem;

Error errnoError(int errnoValue, const fs::path& path) {
  return Error{std::string(std::strerror(errnoValue)) + ": " + path.string()};
}

Status createPrivateDirectories(const fs::path& dir) {
  fs::path partial;
  for (const auto& part : dir.lexically_normal()) {
    if (part.empty()) continue;
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) == 0) {
      ::chmod(partial.c_str(), 0700);  // the umask may have narrowed it differently
      continue;
    }
    if (errno != EEXIST) return errnoError(errno, partial);
  }
  struct stat info {};
  if (::stat(dir.c_str(), &info) != 0) return errnoError(errno, dir);
  if (!S_ISDIR(info.st_mode)) return errnoError(ENOTDIR, dir);
  return {};
}

Status writeWholeFile(const fs::path& file, const Bytes& bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return errnoError(errno, file);
  ::fchmod(fd, 0600);  // an older file may have had wider permissions
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      return errnoError(saved, file);
    }
    written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) return errnoError(errno, file);
  return {};
}

Result<Bytes> readWholeFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errnoError(errno, file);
  Bytes bytes;
  std::uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      return errnoError(saved, file);
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  return bytes;
}

bool exists(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace bm::files

