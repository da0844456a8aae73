#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace bm {

// Standard Base64 (RFC 4648 alphabet), "=" padding, no line breaks.
std::string base64Encode(const Bytes& bytes);

// Only the standard alphabet, a length that is a multiple of four, padding
// only at the end; anything else (white space included) gives nothing. Unused
// bits before the padding are ignored, as other decoders do.
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace bm
