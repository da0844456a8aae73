// libFuzzer target for the file bookmark decoder: any input must decode or
// fail with a reason, and whatever decodes must survive
// encode -> decode -> encode unchanged. Decoding only: resolving would stat
// whatever path the input names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shared/file_bookmark_codec.h"

namespace {

[[noreturn]] void violation(const std::string& what) {
  std::fprintf(stderr, "bookmark_decoder_fuzzer: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bm::Bytes input(data, data + size);

  auto decoded = bm::decodeFileBookmark(input);
  if (!decoded) {
    if (decoded.error().description.empty()) violation("decoding failed without a description");
    return 0;
  }
  const bm::FileBookmarkRecord record = std::move(decoded).value();

  // The parser only yields valid UTF-8, which is all the encoder needs.
  const bm::Bytes encoded = bm::encodeFileBookmark(record);
  const auto redecoded = bm::decodeFileBookmark(encoded);
  if (!redecoded) violation("decoding our own encoding failed: " + redecoded.error().description);
  const auto& again = redecoded.value();
  if (again.path != record.path) violation("path changed: \"" + record.path + "\" -> \"" + again.path + "\"");
  if (again.device != record.device) {
    violation("device changed: " + std::to_string(record.device) + " -> " + std::to_string(again.device));
  }
  if (again.inode != record.inode) {
    violation("inode changed: " + std::to_string(record.inode) + " -> " + std::to_string(again.inode));
  }

  if (bm::encodeFileBookmark(again) != encoded) violation("the second encoding differs from the first");
  return 0;
}
