#include "shared/utf8.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace bm {

bool isValidUtf8(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  // ICU walks with 32-bit offsets: a longer text is checked piece by piece,
  // each ending before a character that would run across it (at most three
  // continuation bytes back; more than that is ill-formed in any case).
  std::size_t start = 0;
  while (start < bytes.size()) {
    constexpr std::size_t kPiece = 1u << 30;
    std::size_t end = std::min(bytes.size(), start + kPiece);
    for (int back = 0; back < 3 && end < bytes.size() && U8_IS_TRAIL(data[end]); ++back) --end;
    const auto length = static_cast<std::int32_t>(end - start);
    for (std::int32_t i = 0; i < length;) {
      UChar32 c;
      U8_NEXT(data + start, i, length, c);
      if (c < 0) return false;
    }
    start = end;
  }
  return true;
}

}  // namespace bm
