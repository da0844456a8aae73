#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/result.h"

// The data file of a browser copy (every type the pasteboard had) or of other
// data (the one type kept), so that restoring can offer each type again
// under its own name.
// One compact JSON object from type identifier to standard Base64 bytes,
// with every "/" written as "\/".
namespace bm {

// Types with their bytes, in the order the owner offered them.
using PasteboardSnapshot = std::vector<std::pair<std::string, Bytes>>;

// Fails on a type identifier that is not valid UTF-8. A type given twice is
// written once, with the later bytes.
Result<std::string> encodePasteboardSnapshot(const PasteboardSnapshot& snapshot);

// Any JSON object whose members are all Base64 strings, in document order.
Result<PasteboardSnapshot> decodePasteboardSnapshot(std::string_view document);

}  // namespace bm
