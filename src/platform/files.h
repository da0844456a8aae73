#pragma once

#include <filesystem>

#include "platform/bytes.h"
#include "platform/result.h"

// Small POSIX helpers for the files the application keeps. Clipboard history
// holds secrets, so everything is private to the user: directories 0700,
// files 0600, whatever the umask.
namespace bm::files {

// Creates `dir` and any missing parents, each new one with mode 0700.
Status createPrivateDirectories(const std::filesystem::path& dir);

// Replaces the whole file with `bytes` in one write (not atomically), mode 0600.
Status writeWholeFile(const std::filesystem::path& file, const Bytes& bytes);

// The whole file.
Result<Bytes> readWholeFile(const std::filesystem::path& file);

// True when anything (a file or a directory) exists at `path`.
bool exists(const std::filesystem::path& path);

// The error text for an errno value at `path`, e.g. "Not a directory: /x/y".
Error errnoError(int errnoValue, const std::filesystem::path& path);

}  // namespace bm::files
