#pragma once

#include <filesystem>
#include <span>
#include <string_view>

#include "platform/bytes.h"
#include "platform/file_system.h"
#include "platform/result.h"

// Small POSIX helpers for the files the application keeps. Clipboard history
// holds secrets, so everything is private to the user: directories 0700,
// files 0600, whatever the umask. What they write goes through `system`.
namespace bm::files {

// Creates `dir` and any missing parents, each new one with mode 0700.
Status createPrivateDirectories(FileSystem& system, const std::filesystem::path& dir);

// Writing makes a new file: a link (hard or symbolic) at the name is
// replaced, never written through.
//
// Replaces the whole file with `bytes` (not atomically), mode 0600. A write
// that fails removes the file: a part of it would pass for the whole.
Status writeWholeFile(FileSystem& system, const std::filesystem::path& file, const Bytes& bytes);

// Replaces `file` with the pieces, written in order, so that it always holds
// either its old content or the whole new content, even after a kill or a
// power cut: they go into "<file>.tmp" beside it, are flushed to the disk,
// and the temporary file is renamed over `file`. On failure `file` is as it
// was and the temporary file is gone. Mode 0600.
Status replaceFileAtomically(FileSystem& system, const std::filesystem::path& file,
                             std::span<const std::string_view> pieces);

// The temporary file replaceFileAtomically writes beside `file`. A kill in
// the middle of a replace leaves it there.
std::filesystem::path temporaryFileOf(const std::filesystem::path& file);

// Renames `path` to the first free name of "<path><suffix>", "<path><suffix>.1",
// "<path><suffix>.2", ... without ever replacing anything; gives the new path.
Result<std::filesystem::path> moveAside(const std::filesystem::path& path, const std::string& suffix);

// Reading takes only a regular file, and never follows a symbolic link at
// `file`, which may lead out of our folders: a link fails with "Too many
// levels of symbolic links", a directory with "Is a directory", anything else
// (a FIFO, a device) with "Not a regular file".
//
// The whole file.
Result<Bytes> readWholeFile(const std::filesystem::path& file);

// Whether the file holds exactly `bytes`: the sizes are compared first, then
// the contents a piece at a time up to the first difference. Fails where
// readWholeFile would, except that a file of another size is not read.
Result<bool> holdsExactly(const std::filesystem::path& file, const Bytes& bytes);

// True when anything (a file or a directory) exists at `path`.
bool exists(const std::filesystem::path& path);

// The error text for an errno value at `path`, e.g. "Not a directory: /x/y".
Error errnoError(int errnoValue, const std::filesystem::path& path);

}  // namespace bm::files
