#pragma once

#include <string_view>

namespace bm {

// Well-formed UTF-8: no cut-off or overlong sequences, no encoded
// surrogates, nothing above U+10FFFF. The history and the platforms keep
// text as UTF-8 only; bytes that are not are no text.
bool isValidUtf8(std::string_view bytes);

}  // namespace bm
