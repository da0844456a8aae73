#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bm {

// Names a copied file's bookmark file. FNV-1a (64-bit) over the path's UTF-8
// bytes, read as a two's-complement signed integer: the same value for the
// same text in every run and on every machine. Do not change it: existing
// bookmark files are found by it.
std::int64_t pathHash(std::string_view utf8Path);

// The decimal text of pathHash; negative values have a leading minus sign.
std::string bookmarkFileName(std::string_view utf8Path);

}  // namespace bm
