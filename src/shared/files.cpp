#include "shared/files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace bm::files {
namespace fs = std::filesystem;
namespace {

// Writes every piece, in order, however the kernel splits the writes.
Status writeAll(FileSystem& system, int fd, std::span<const std::string_view> pieces, const fs::path& file) {
  std::vector<iovec> chunks;
  for (const auto piece : pieces) {
    if (!piece.empty()) chunks.push_back({const_cast<char*>(piece.data()), piece.size()});
  }
  size_t next = 0;
  while (next < chunks.size()) {
    const int count = static_cast<int>(std::min<size_t>(chunks.size() - next, IOV_MAX));
    const ssize_t n = system.writev(fd, &chunks[next], count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errnoError(errno, file);
    }
    if (n == 0) return errnoError(EIO, file);
    auto left = static_cast<size_t>(n);
    while (left > 0 && left >= chunks[next].iov_len) left -= chunks[next++].iov_len;
    if (left > 0) {
      chunks[next].iov_base = static_cast<char*>(chunks[next].iov_base) + left;
      chunks[next].iov_len -= left;
    }
  }
  return {};
}

// Closes a descriptor that was only read, on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { ::close(fd_); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A new file at `file`, mode 0600 whatever the umask. What was there goes
// first, so that a link (hard or symbolic) left at that name is replaced,
// never written through.
Result<int> openFreshForWriting(FileSystem& system, const fs::path& file) {
  ::unlink(file.c_str());
  const int fd = system.open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errnoError(errno, file);
  ::fchmod(fd, 0600);
  return fd;
}

// A regular file, opened without following a link at its name, and without
// waiting: a FIFO put there would otherwise hold the reader until written to.
Result<int> openForReading(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errnoError(errno, file);
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
  const int error = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  ::close(fd);
  if (error == EINVAL) return Error{"Not a regular file: " + file.string()};
  return errnoError(error, file);
}

// Makes a rename in `dir` survive a power cut. Some file systems cannot
// flush a directory; the rename has happened either way.
void flushDirectory(const fs::path& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Renames unless `to` exists: EEXIST then, and nothing moves.
int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // Without kernel support: the single running instance owns the folder.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

Error errnoError(int errnoValue, const fs::path& path) {
  return Error{std::string(std::strerror(errnoValue)) + ": " + path.string()};
}

Status createPrivateDirectories(FileSystem& system, const fs::path& dir) {
  fs::path partial;
  for (const auto& part : dir.lexically_normal()) {
    if (part.empty()) continue;
    partial /= part;
    if (system.mkdir(partial.c_str(), 0700) == 0) {
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

Status writeWholeFile(FileSystem& system, const fs::path& file, const Bytes& bytes) {
  const auto fd = openFreshForWriting(system, file);
  if (!fd) return fd.error();
  const std::string_view piece = textViewOf(bytes);
  Status written = writeAll(system, fd.value(), std::span(&piece, 1), file);
  if (system.close(fd.value()) != 0 && written) written = errnoError(errno, file);
  if (!written) ::unlink(file.c_str());
  return written;
}

Status replaceFileAtomically(FileSystem& system, const fs::path& file, std::span<const std::string_view> pieces) {
  const fs::path temporary = temporaryFileOf(file);
  const auto fd = openFreshForWriting(system, temporary);
  if (!fd) return fd.error();
  Status status = writeAll(system, fd.value(), pieces, temporary);
  if (status && system.fsync(fd.value()) != 0) status = errnoError(errno, temporary);
  if (system.close(fd.value()) != 0 && status) status = errnoError(errno, temporary);
  // A link at `file` is replaced, never written through.
  if (status && system.rename(temporary.c_str(), file.c_str()) != 0) status = errnoError(errno, file);
  if (!status) {
    ::unlink(temporary.c_str());
    return status;
  }
  flushDirectory(file.parent_path());
  return {};
}

fs::path temporaryFileOf(const fs::path& file) { return fs::path(file) += ".tmp"; }

Result<fs::path> moveAside(const fs::path& path, const std::string& suffix) {
  const std::string base = path.string() + suffix;
  for (int number = 0;; ++number) {
    const fs::path target = number == 0 ? base : base + "." + std::to_string(number);
    const int error = renameWithoutReplacing(path, target);
    if (error == 0) {
      flushDirectory(path.parent_path());
      return target;
    }
    if (error != EEXIST || number == INT_MAX) return errnoError(error, target);
  }
}

Result<Bytes> readWholeFile(const fs::path& file) {
  auto opened = openForReading(file);
  if (!opened) return opened.error();
  const Descriptor fd(opened.value());
  // Read straight into the result; one more byte than the size shows the end.
  struct stat info {};
  const size_t expected = ::fstat(fd.get(), &info) == 0 && info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
  Bytes bytes(expected + 1);
  size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errnoError(errno, file);
    }
    used += static_cast<size_t>(n);
  }
  bytes.resize(used);
  return bytes;
}

Result<bool> holdsExactly(const fs::path& file, const Bytes& bytes) {
  auto opened = openForReading(file);
  if (!opened) return opened.error();
  const Descriptor fd(opened.value());
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return errnoError(errno, file);
  if (static_cast<std::uintmax_t>(info.st_size) != bytes.size()) return false;
  std::vector<std::uint8_t> piece(std::min<size_t>(bytes.size() + 1, 64 * 1024));
  size_t compared = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), piece.data(), piece.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errnoError(errno, file);
    }
    const auto count = static_cast<size_t>(n);
    if (count == 0 || count > bytes.size() - compared ||
        std::memcmp(piece.data(), bytes.data() + compared, count) != 0) {
      return count == 0 && compared == bytes.size();
    }
    compared += count;
  }
}

bool exists(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace bm::files
