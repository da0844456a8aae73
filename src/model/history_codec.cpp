#include "model/history_codec.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "model/base64.h"

namespace bm {
namespace {

using Json = nlohmann::json;
// Keeps keys in the order they are written.
using OrderedJson = nlohmann::ordered_json;

// nlohmann's messages start with "[json.exception.<kind>.<id>] ".
std::string withoutExceptionTag(std::string message) {
  if (message.starts_with("[json.exception.")) {
    if (const auto end = message.find("] "); end != std::string::npos) message.erase(0, end + 2);
  }
  return message;
}

// ---- Encoding ----

OrderedJson encodeContent(const ClipboardContent& content) {
  OrderedJson object = OrderedJson::object();
  std::visit(
      [&object](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, TextContent>) {
          object["type"] = "text";
          object["value"] = c.text();
        } else if constexpr (std::is_same_v<C, ImageContent>) {
          object["type"] = "image";
          object["value"] = c.storedFileId.uuidString();
        } else if constexpr (std::is_same_v<C, FileContent>) {
          object["type"] = "file";
          object["value"] = c.paths;
          OrderedJson bookmarks = OrderedJson::array();
          for (const auto& bookmark : c.bookmarks) bookmarks.push_back(base64Encode(bookmark));
          object["bookmarks"] = std::move(bookmarks);
        } else {
          object["type"] = "data";
          object["value"] = c.storedFileId.uuidString();
        }
      },
      content);
  return object;
}

// ---- Decoding ----

// Thrown and caught inside decodeHistory only.
struct DecodeFailure {
  std::string description;
};

// Where a value sits: the entry's index and the keys (or array indices) below it.
class Where {
 public:
  static Where entry(size_t index) { return Where("entry at index " + std::to_string(index)); }
  static Where document() { return Where("the document"); }

  Where key(std::string_view name) const {
    std::string quoted(1, '"');  // appended, not concatenated: g++ 12 -O3 warns falsely on that
    quoted.append(name).push_back('"');
    return below(quoted);
  }
  Where index(size_t i) const { return below("index " + std::to_string(i)); }
  const std::string& text() const { return text_; }

 private:
  explicit Where(std::string text, bool hasKeys = false) : text_(std::move(text)), hasKeys_(hasKeys) {}
  Where below(const std::string& step) const {
    return Where(text_ + (hasKeys_ ? " > " : ", key ") + step, true);
  }

  std::string text_;
  bool hasKeys_ = false;
};

[[noreturn]] void fail(const Where& where, const std::string& what) {
  throw DecodeFailure{where.text() + ": " + what};
}

// A short, printable account of a value that was not what was expected.
std::string describe(const Json* value) {
  if (!value) return "nothing (the key is missing)";
  switch (value->type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return value->get<bool>() ? "true" : "false";
    case Json::value_t::number_float:
      if (!std::isfinite(value->get<double>())) return "a number too large to represent";
      [[fallthrough]];
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return "the number " + value->dump();
    case Json::value_t::string: {
      constexpr size_t kShown = 40;
      const auto& text = value->get_ref<const std::string&>();
      if (text.size() <= kShown) return "the string " + value->dump();
      size_t cut = kShown;  // back off to the start of a UTF-8 sequence
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
      return "the string " + Json(text.substr(0, cut)).dump() + "... (" + std::to_string(text.size()) + " bytes)";
    }
    case Json::value_t::array:
      return "an array";
    case Json::value_t::object:
      return "an object";
    default:
      return "a value of another kind";
  }
}

// The text as read, but a control character (a line break, a terminal
// escape) is written as \uXXXX: the failure stays one plain line.
std::string withVisibleControls(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += "\\u00";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0x0F];
    } else {
      shown += c;
    }
  }
  return shown;
}

[[noreturn]] void expected(const Where& where, const std::string& what, const Json* found) {
  fail(where, "expected " + what + ", found " + describe(found));
}

Json& member(Json& object, std::string_view key, const Where& where, const char* what) {
  const auto found = object.find(key);
  if (found == object.end()) expected(where.key(key), what, nullptr);
  return *found;
}

std::string takeString(Json& value, const Where& where) {
  if (!value.is_string()) expected(where, "a string", &value);
  return std::move(value.get_ref<std::string&>());
}

std::string takeString(Json& object, std::string_view key, const Where& where) {
  return takeString(member(object, key, where, "a string"), where.key(key));
}

Uuid readUuid(Json& object, std::string_view key, const Where& where) {
  constexpr const char* kWhat = "a UUID string";
  Json& value = member(object, key, where, kWhat);
  if (value.is_string()) {
    if (auto uuid = Uuid::fromString(value.get_ref<const std::string&>())) return *uuid;
  }
  expected(where.key(key), kWhat, &value);
}

Json& arrayMember(Json& object, std::string_view key, const Where& where, const char* what) {
  Json& value = member(object, key, where, what);
  if (!value.is_array()) expected(where.key(key), what, &value);
  return value;
}

ClipboardContent decodeContent(Json& object, const Where& where) {
  if (!object.is_object()) expected(where, "an object", &object);
  const std::string type = takeString(object, "type", where);
  if (type == "text") return TextContent{takeString(object, "value", where)};
  if (type == "image") return ImageContent{readUuid(object, "value", where)};
  if (type == "file") {
    FileContent file;
    Json& paths = arrayMember(object, "value", where, "an array of strings");
    for (size_t i = 0; i < paths.size(); ++i) file.paths.push_back(takeString(paths[i], where.key("value").index(i)));
    Json& bookmarks = arrayMember(object, "bookmarks", where, "an array of Base64 strings");
    for (size_t i = 0; i < bookmarks.size(); ++i) {
      const Where at = where.key("bookmarks").index(i);
      std::optional<Bytes> bytes;
      if (bookmarks[i].is_string()) bytes = base64Decode(bookmarks[i].get_ref<const std::string&>());
      if (!bytes) expected(at, "a Base64 string", &bookmarks[i]);
      file.bookmarks.push_back(std::move(*bytes));
    }
    return file;
  }
  if (type == "data") return DataContent{readUuid(object, "value", where)};
  fail(where.key("type"), "Invalid type: " + withVisibleControls(type));
}

ClipboardItem decodeEntry(Json& object, const Where& where) {
  if (!object.is_object()) expected(where, "an object", &object);
  const Uuid id = readUuid(object, "id", where);

  Json& timestamp = member(object, "timestamp", where, "a number");
  if (!timestamp.is_number()) expected(where.key("timestamp"), "a number", &timestamp);
  const double seconds = timestamp.get<double>();
  if (!std::isfinite(seconds)) expected(where.key("timestamp"), "a finite number", &timestamp);

  ClipboardContent content = decodeContent(member(object, "content", where, "an object"), where.key("content"));

  constexpr const char* kItemTypes = R"(one of "text", "image", "file" or "data")";
  Json& typeValue = member(object, "type", where, kItemTypes);
  const auto type = typeValue.is_string() ? fromRaw<ItemType>(typeValue.get_ref<const std::string&>()) : std::nullopt;
  if (!type) expected(where.key("type"), kItemTypes, &typeValue);

  std::string displayText = takeString(object, "displayText", where);
  return ClipboardItem{id, Date{seconds}, std::move(content), *type, std::move(displayText)};
}

// Builds the document and, when the text is not valid JSON, keeps where and
// why instead of throwing.
class DocumentBuilder : public nlohmann::detail::json_sax_dom_parser<Json> {
 public:
  explicit DocumentBuilder(Json& root) : json_sax_dom_parser(root, /*allow_exceptions=*/false) {}

  template <class Exception>
  bool parse_error(std::size_t bytesRead, const std::string& lastToken, const Exception& error) {
    // Drop "[json.exception...] parse error at line 1, column 7: " and the
    // token read, which is raw input and may be huge.
    std::string reason = withoutExceptionTag(error.what());
    if (const auto colon = reason.find(": "); reason.starts_with("parse error") && colon != std::string::npos) {
      reason.erase(0, colon + 2);
    }
    if (const std::string quoted = "; last read: '" + lastToken + "'"; reason.find(quoted) != std::string::npos) {
      reason.erase(reason.find(quoted), quoted.size());
    } else if (const std::string tail = " '" + lastToken + "'"; reason.ends_with(tail)) {
      reason.erase(reason.size() - tail.size());  // "number overflow parsing '1e999'"
    }
    // `bytesRead` counts the offending byte too.
    failure = "invalid JSON at byte " + std::to_string(bytesRead > 0 ? bytesRead - 1 : 0) + ": " + reason;
    return false;
  }

  std::string failure;
};

}  // namespace


Result<std::string> encodeHistoryEntry(const ClipboardItem& item) {
  const std::string which = "the entry " + item.id.uuidString();
  if (!std::isfinite(item.timestamp.secondsSinceReferenceDate)) {
    return Error{which + " cannot be saved: its timestamp is not a finite number"};
  }
  OrderedJson entry = OrderedJson::object();
  entry["id"] = item.id.uuidString();
  entry["timestamp"] = item.timestamp.secondsSinceReferenceDate;
  entry["content"] = encodeContent(item.content);
  entry["type"] = rawValue(item.type);
  entry["displayText"] = item.displayText;
  try {
    return entry.dump();
  } catch (const OrderedJson::type_error& error) {  // text that is not UTF-8
    return Error{which + " cannot be saved: " + withoutExceptionTag(error.what())};
  }
}

Result<std::string> encodeHistory(std::span<const ClipboardItem> items) {
  std::string document = "[";
  for (const auto& item : items) {
    auto entry = encodeHistoryEntry(item);
    if (!entry) return entry.error();
    if (document.size() > 1) document += ',';
    document += entry.value();
  }
  document += ']';
  return document;
}

Result<std::vector<ClipboardItem>> decodeHistory(std::string_view document) {
  Json root;
  DocumentBuilder builder(root);
  if (!Json::sax_parse(document.begin(), document.end(), &builder)) return Error{builder.failure};
  try {
    if (!root.is_array()) expected(Where::document(), "an array of entries", &root);
    std::vector<ClipboardItem> items;
    items.reserve(root.size());
    for (size_t i = 0; i < root.size(); ++i) items.push_back(decodeEntry(root[i], Where::entry(i)));
    return items;
  } catch (const DecodeFailure& failure) {
    return Error{failure.description};
  }
}

}  // namespace bm
