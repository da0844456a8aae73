#include "model/pasteboard_snapshot.h"

#include <nlohmann/json.hpp>

#include "model/base64.h"

namespace bm {
namespace {
// Keeps the owner's order, which restoring offers again.
using OrderedJson = nlohmann::ordered_json;
}  // namespace

Result<std::string> encodePasteboardSnapshot(const PasteboardSnapshot& snapshot) {
  OrderedJson object = OrderedJson::object();
  for (const auto& [type, bytes] : snapshot) object[type] = base64Encode(bytes);
  std::string compact;
  try {
    compact = object.dump();
  } catch (const nlohmann::json::exception&) {
    return Error{"A pasteboard type's name is not valid UTF-8"};
  }
  // A "/" can only stand inside a string, and no UTF-8 sequence holds the byte.
  std::string escaped;
  escaped.reserve(compact.size() + compact.size() / 16);
  for (const char c : compact) {
    if (c == '/') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

Result<PasteboardSnapshot> decodePasteboardSnapshot(std::string_view document) {
  const auto json = OrderedJson::parse(document.begin(), document.end(), nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return Error{"The pasteboard snapshot is not valid JSON"};
  if (!json.is_object()) return Error{"The pasteboard snapshot is not a JSON object"};
  PasteboardSnapshot snapshot;
  for (const auto& [type, value] : json.items()) {
    auto bytes = value.is_string() ? base64Decode(value.get_ref<const std::string&>()) : std::nullopt;
    if (!bytes) return Error{"The pasteboard snapshot's type \"" + type + "\" holds no Base64 text"};
    snapshot.emplace_back(type, std::move(*bytes));
  }
  return snapshot;
}

}  // namespace bm
