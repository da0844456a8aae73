// libFuzzer target for the pasteboard snapshot decoder: any input must decode
// or fail with a reason, and whatever decodes must survive
// encode -> decode -> encode unchanged, in the owner's order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "model/pasteboard_snapshot.h"

namespace {

[[noreturn]] void violation(const std::string& what) {
  std::fprintf(stderr, "pasteboard_snapshot_fuzzer: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  auto decoded = bm::decodePasteboardSnapshot(input);
  if (!decoded) {
    if (decoded.error().description.empty()) violation("decoding failed without a description");
    return 0;
  }
  const bm::PasteboardSnapshot snapshot = std::move(decoded).value();

  // A type named twice in the document is one type on the pasteboard.
  std::set<std::string> types;
  for (const auto& [type, bytes] : snapshot) {
    if (!types.insert(type).second) violation("type \"" + type + "\" decoded twice");
  }

  // The parser only yields valid UTF-8, so encoding cannot fail.
  const auto encoded = bm::encodePasteboardSnapshot(snapshot);
  if (!encoded) violation("encoding a decoded snapshot failed: " + encoded.error().description);
  const std::string& document = encoded.value();
  for (size_t i = 0; i < document.size(); ++i) {
    if (document[i] == '/' && (i == 0 || document[i - 1] != '\\')) violation("a \"/\" is written unescaped");
  }

  const auto redecoded = bm::decodePasteboardSnapshot(document);
  if (!redecoded) violation("decoding our own encoding failed: " + redecoded.error().description);
  if (redecoded.value() != snapshot) violation("the snapshot changed through encode -> decode");

  const auto reencoded = bm::encodePasteboardSnapshot(redecoded.value());
  if (!reencoded) violation("encoding the second time failed: " + reencoded.error().description);
  if (reencoded.value() != document) violation("the second encoding differs from the first");
  return 0;
}
