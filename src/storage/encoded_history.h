#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/clipboard_item.h"
#include "platform/result.h"

namespace bm {

// The history document put together from each entry's encoded form.
// Entries never change once made, so an entry is encoded once and its text
// kept, by id, for as long as it is among the entries saved; nothing else is
// kept. The bytes are exactly those of encodeHistory.
class EncodedHistory {
 public:
  // The document for `items` as pieces to be written in order. They stay
  // valid until the next call.
  Result<std::vector<std::string_view>> assemble(std::span<const ClipboardItem> items);

 private:
  std::unordered_map<Uuid, std::string> byId_;
  // Entries whose id is not unique among the items (a hand-edited file can
  // do that): the id does not tell them apart, so they are not kept.
  std::vector<std::string> ambiguous_;
};

}  // namespace bm
