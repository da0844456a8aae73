// libFuzzer target for the history decoder: any input must decode or fail
// cleanly, and whatever decodes must survive encode -> decode -> encode
// unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/history_codec.h"

namespace {

[[noreturn]] void violation(const std::string& what) {
  std::fprintf(stderr, "history_decoder_fuzzer: %s\n", what.c_str());
  std::abort();
}

void expectSameEntries(const std::vector<bm::ClipboardItem>& first, const std::vector<bm::ClipboardItem>& second) {
  if (first.size() != second.size()) {
    violation("entry count changed: " + std::to_string(first.size()) + " -> " + std::to_string(second.size()));
  }
  for (size_t i = 0; i < first.size(); ++i) {
    const auto& a = first[i];
    const auto& b = second[i];
    const std::string at = "entry " + std::to_string(i) + ": ";
    if (a.id != b.id) violation(at + "id changed: " + a.id.uuidString() + " -> " + b.id.uuidString());
    // Exact equality on purpose: a lossy number encoding must show up.
    if (!(a.timestamp.secondsSinceReferenceDate == b.timestamp.secondsSinceReferenceDate)) {
      violation(at + "timestamp changed");
    }
    if (a.content.index() != b.content.index()) violation(at + "content kind changed");
    if (!identicalContents(a.content, b.content)) violation(at + "content changed");
    if (a.type != b.type) violation(at + "type changed");
    if (a.displayText != b.displayText) violation(at + "displayText changed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  auto decoded = bm::decodeHistory(input);
  if (!decoded) {
    // A refusal must say why.
    if (decoded.error().description.empty()) violation("decoding failed without a description");
    // It is printed as one line of the console.
    for (const char c : decoded.error().description) {
      if (c == '\n' || c == '\r') violation("a failure description spans lines");
    }
    return 0;
  }
  const std::vector<bm::ClipboardItem> items = std::move(decoded).value();

  // The parser only yields valid UTF-8 and finite numbers, so encoding cannot fail.
  const auto encoded = bm::encodeHistory(items);
  if (!encoded) violation("encoding a decoded history failed: " + encoded.error().description);

  const auto redecoded = bm::decodeHistory(encoded.value());
  if (!redecoded) violation("decoding our own encoding failed: " + redecoded.error().description);
  expectSameEntries(items, redecoded.value());

  const auto reencoded = bm::encodeHistory(redecoded.value());
  if (!reencoded) violation("encoding the second time failed: " + reencoded.error().description);
  if (reencoded.value() != encoded.value()) violation("the second encoding differs from the first");
  return 0;
}
