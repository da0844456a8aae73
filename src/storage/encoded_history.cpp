#include "storage/encoded_history.h"

#include "model/history_codec.h"

namespace bm {

Result<std::vector<std::string_view>> EncodedHistory::assemble(std::span<const ClipboardItem> items) {
  std::unordered_map<Uuid, int> uses;
  for (const auto& item : items) ++uses[item.id];

  std::unordered_map<Uuid, std::string> kept;
  ambiguous_.clear();
  ambiguous_.reserve(items.size());  // no reallocation: views into it stay valid
  std::vector<const std::string*> encoded;
  encoded.reserve(items.size());
  for (const auto& item : items) {
    const bool unique = uses[item.id] == 1;
    if (unique) {
      if (const auto old = byId_.find(item.id); old != byId_.end()) {
        encoded.push_back(&(kept[item.id] = std::move(old->second)));
        continue;
      }
    }
    auto text = encodeHistoryEntry(item);
    if (!text) {
      byId_ = std::move(kept);  // what was moved out of byId_ is not lost
      return text.error();
    }
    std::string& slot = unique ? kept[item.id] : ambiguous_.emplace_back();
    slot = std::move(text).value();
    encoded.push_back(&slot);
  }
  // Map nodes never move, so the views below stay valid after this.
  byId_ = std::move(kept);

  std::vector<std::string_view> pieces;
  pieces.reserve(2 * items.size() + 1);
  for (const std::string* entry : encoded) {
    pieces.emplace_back(pieces.empty() ? "[" : ",");
    pieces.emplace_back(*entry);
  }
  if (pieces.empty()) pieces.emplace_back("[");
  pieces.emplace_back("]");
  return pieces;
}

}  // namespace bm
