#include "storage/path_hash.h"

namespace bm {

std::int64_t pathHash(std::string_view utf8Path) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a offset basis
  for (unsigned char byte : utf8Path) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;  // FNV-1a prime
  }
  return static_cast<std::int64_t>(hash);
}

std::string bookmarkFileName(std::string_view utf8Path) { return std::to_string(pathHash(utf8Path)); }

}  // namespace bm
