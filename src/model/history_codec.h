#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/clipboard_item.h"
#include "platform/result.h"

// The history file's form: one compact UTF-8 JSON array of entry objects,
// newest first. Encoding writes the keys in a fixed order; decoding is
// strict (every key, exact JSON types) and any failure fails the whole
// document, with a description that says which entry, which key, what was
// expected and what was found.
namespace bm {

// One entry as its JSON object text. Fails on text that is not valid UTF-8
// and on a timestamp that is not a finite number.
Result<std::string> encodeHistoryEntry(const ClipboardItem& item);

// The whole document: "[" entries joined by "," "]".
Result<std::string> encodeHistory(std::span<const ClipboardItem> items);

// All entries of a document, in document order.
Result<std::vector<ClipboardItem>> decodeHistory(std::string_view document);

}  // namespace bm
