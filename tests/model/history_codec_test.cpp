#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "model/history_codec.h"
#include "support/history_entries.h"

namespace bm {
namespace {
using test::expectSameEntries;
using test::uuid;

const Uuid kId1 = uuid("6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
const Uuid kId2 = uuid("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");

std::vector<ClipboardItem> decoded(std::string_view document) {
  auto items = decodeHistory(document);
  EXPECT_TRUE(items.ok()) << (items ? "" : items.error().description);
  return items ? std::move(items).value() : std::vector<ClipboardItem>{};
}

std::string encoded(const std::vector<ClipboardItem>& items) {
  auto document = encodeHistory(items);
  EXPECT_TRUE(document.ok()) << (document ? "" : document.error().description);
  return document ? document.value() : "";
}

TEST(HistoryCodecTest, WritesCompactJsonWithTheKeysInOrder) {
  const std::vector<ClipboardItem> items = {
      {kId1, Date{726000000.5}, TextContent{"say \"hi\"\n\\ a/b é"}, ItemType::text, "say \"hi\""},
      {kId2, Date{0}, ImageContent{kId1}, ItemType::image, "Image"},
      {kId1, Date{-1.25}, FileContent{{"/tmp/a b", "/x"}, {bytesOf("foo"), Bytes{0xfb, 0xff}}}, ItemType::file, "2 files"},
      {kId2, Date{1}, DataContent{kId2}, ItemType::data, ""},
      {kId1, Date{2}, FileContent{}, ItemType::file, "none"},
  };
  EXPECT_EQ(encoded(items),
            R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","timestamp":726000000.5,)"
            R"("content":{"type":"text","value":"say \"hi\"\n\\ a/b é"},"type":"text","displayText":"say \"hi\""},)"
            R"({"id":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0","timestamp":0.0,)"
            R"("content":{"type":"image","value":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8"},"type":"image","displayText":"Image"},)"
            R"({"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","timestamp":-1.25,)"
            R"("content":{"type":"file","value":["/tmp/a b","/x"],"bookmarks":["Zm9v","+/8="]},"type":"file","displayText":"2 files"},)"
            R"({"id":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0","timestamp":1.0,)"
            R"("content":{"type":"data","value":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"},"type":"data","displayText":""},)"
            R"({"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","timestamp":2.0,)"
            R"("content":{"type":"file","value":[],"bookmarks":[]},"type":"file","displayText":"none"}])");
  EXPECT_EQ(encoded({}), "[]");
  EXPECT_TRUE(decoded("[]").empty());
}

TEST(HistoryCodecTest, EveryKindOfEntryComesBackAsItWasInOrder) {
  const std::vector<ClipboardItem> items = {
      test::textEntry("plain"),
      test::textEntry(""),
      test::textEntry("tabs\tnew\nlines\r\n, \x01 control, \"quotes\", \\ and / and 中文 🎉"),
      test::imageEntry(),
      test::dataEntry(),
      test::fileEntry({"/home/u/a.txt", "/home/u/ü dir/b"}, {Bytes{0, 1, 2, 0xff}, Bytes{}}),
      test::fileEntry({}, {}),
      // Kind and content are stored apart and read back as written.
      {Uuid::random(), Date{5}, TextContent{"text"}, ItemType::image, "mismatch"},
  };
  const std::string document = encoded(items);
  const auto back = decoded(document);
  expectSameEntries(back, items);
  EXPECT_EQ(encoded(back), document);
}

TEST(HistoryCodecTest, TimestampsReadBackAsTheSameDouble) {
  const double cases[] = {0.0,
                          726000000.123456789,
                          -978307200.0,
                          0.1 + 0.2,
                          1.0 / 3.0,
                          5e-324,
                          std::numeric_limits<double>::max(),
                          std::nextafter(800000000.0, 1e9)};
  for (double seconds : cases) {
    ClipboardItem item = test::textEntry("t", seconds);
    const auto back = decoded(encoded({item}));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back[0].timestamp.secondsSinceReferenceDate),
              std::bit_cast<std::uint64_t>(seconds))
        << seconds;
  }
}

TEST(HistoryCodecTest, ReadersAcceptWhatOtherWritersMayProduce) {
  const std::string expectedId = "6BA7B810-9DAD-11D1-80B4-00C04FD430C8";
  struct Case {
    const char* name;
    std::string document;
    ClipboardContent content;
    double seconds;
  };
  const Case cases[] = {
      {"lower-case UUIDs, integer timestamp",
       R"([{"id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8","timestamp":12,"content":{"type":"image","value":"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"},"type":"image","displayText":"d"}])",
       ImageContent{kId2}, 12},
      {"escaped solidus, keys in another order, white space",
       R"( [ { "displayText" : "d", "type" : "text", "content" : { "value" : "a\/b", "type" : "text" }, "timestamp" : 1.5e2, "id" : "6BA7B810-9DAD-11D1-80B4-00C04FD430C8" } ] )",
       TextContent{"a/b"}, 150},
      {"unknown keys and bookmarks outside a file content are ignored",
       R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","extra":[1,{}],"timestamp":-0.5,"content":{"type":"text","value":"x","bookmarks":"not even an array","more":null},"type":"text","displayText":"d"}])",
       TextContent{"x"}, -0.5},
      {"escaped Unicode, a surrogate pair included",
       R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","timestamp":0,"content":{"type":"data","value":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"},"type":"data","displayText":"\u00e9\ud83c\udf89"}])",
       DataContent{kId2}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto items = decoded(c.document);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id.uuidString(), expectedId);
    EXPECT_TRUE(identicalContents(items[0].content, c.content));
    EXPECT_EQ(items[0].timestamp.secondsSinceReferenceDate, c.seconds);
  }
  EXPECT_EQ(decoded(cases[3].document)[0].displayText, "é🎉");
}

// An entry that decodes, with one key replaced by `replacement` ("" drops it).
std::string entryWith(const std::string& key, const std::string& replacement) {
  std::vector<std::pair<std::string, std::string>> keys = {
      {"id", R"("6BA7B810-9DAD-11D1-80B4-00C04FD430C8")"},
      {"timestamp", "1.5"},
      {"content", R"({"type":"text","value":"v"})"},
      {"type", R"("text")"},
      {"displayText", R"("d")"},
  };
  std::string object = "{";
  for (const auto& [name, value] : keys) {
    const std::string& v = name == key ? replacement : value;
    if (v.empty()) continue;
    if (object.size() > 1) object += ',';
    object += "\"" + name + "\":" + v;
  }
  return object + "}";
}

TEST(HistoryCodecTest, AnyFaultFailsTheWholeDocumentAndSaysWhereAndWhat) {
  const std::string good = entryWith("", "");
  const std::pair<std::string, std::string> cases[] = {
      {"", "invalid JSON at byte 0: syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal"},
      {"{}", "the document: expected an array of entries, found an object"},
      {"[" + good + "," + good + ",7]", "entry at index 2: expected an object, found the number 7"},
      {"[" + good + "] x", "invalid JSON at byte " + std::to_string(good.size() + 3) +
                               ": syntax error while parsing value - invalid literal; expected end of input"},
      {"[" + entryWith("id", "") + "]", R"(entry at index 0, key "id": expected a UUID string, found nothing (the key is missing))"},
      {"[" + entryWith("id", R"("6BA7B810-9DAD-11D1-80B4-00C04FD430CZ")") + "]",
       R"(entry at index 0, key "id": expected a UUID string, found the string "6BA7B810-9DAD-11D1-80B4-00C04FD430CZ")"},
      {"[" + entryWith("id", R"("{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}")") + "]",
       R"(entry at index 0, key "id": expected a UUID string, found the string "{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}")"},
      {"[" + entryWith("timestamp", R"("12")") + "]", R"(entry at index 0, key "timestamp": expected a number, found the string "12")"},
      {"[" + entryWith("timestamp", "true") + "]", R"(entry at index 0, key "timestamp": expected a number, found true)"},
      {"[" + entryWith("content", "") + "]", R"(entry at index 0, key "content": expected an object, found nothing (the key is missing))"},
      {"[" + entryWith("content", R"("text")") + "]", R"(entry at index 0, key "content": expected an object, found the string "text")"},
      {"[" + entryWith("content", R"({"value":"v"})") + "]",
       R"(entry at index 0, key "content" > "type": expected a string, found nothing (the key is missing))"},
      {"[" + entryWith("content", R"({"type":"text","value":3})") + "]",
       R"(entry at index 0, key "content" > "value": expected a string, found the number 3)"},
      {"[" + entryWith("content", R"({"type":"image","value":"not a uuid"})") + "]",
       R"(entry at index 0, key "content" > "value": expected a UUID string, found the string "not a uuid")"},
      {"[" + entryWith("content", R"({"type":"file","value":["/a"]})") + "]",
       R"(entry at index 0, key "content" > "bookmarks": expected an array of Base64 strings, found nothing (the key is missing))"},
      {"[" + entryWith("content", R"({"type":"file","value":["/a",null],"bookmarks":[]})") + "]",
       R"(entry at index 0, key "content" > "value" > index 1: expected a string, found null)"},
      {"[" + entryWith("content", R"({"type":"file","value":[],"bookmarks":["Zm9v","Zm9"]})") + "]",
       R"(entry at index 0, key "content" > "bookmarks" > index 1: expected a Base64 string, found the string "Zm9")"},
      {"[" + entryWith("content", R"({"type":"file","value":"/a","bookmarks":[]})") + "]",
       R"(entry at index 0, key "content" > "value": expected an array of strings, found the string "/a")"},
      {"[" + entryWith("type", R"("Text")") + "]",
       R"(entry at index 0, key "type": expected one of "text", "image", "file" or "data", found the string "Text")"},
      {"[" + entryWith("type", "") + "]",
       R"(entry at index 0, key "type": expected one of "text", "image", "file" or "data", found nothing (the key is missing))"},
      {"[" + entryWith("displayText", "[]") + "]", R"(entry at index 0, key "displayText": expected a string, found an array)"},
      {"[" + entryWith("timestamp", "1e999") + "]", "invalid JSON at byte 62: number overflow parsing"},
      {"[\"a\xff\"]", "invalid JSON at byte 3: syntax error while parsing value - invalid string: ill-formed UTF-8 byte"},
      {R"(["\ud800"])",
       "invalid JSON at byte 8: syntax error while parsing value - invalid string: surrogate U+D800..U+DBFF must be "
       "followed by U+DC00..U+DFFF"},
      {"[" + entryWith("id", "\"" + std::string(100, 'x') + "\"") + "]",
       R"(entry at index 0, key "id": expected a UUID string, found the string "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"... (100 bytes))"},
  };
  for (const auto& [document, description] : cases) {
    const auto items = decodeHistory(document);
    ASSERT_FALSE(items.ok()) << document;
    EXPECT_EQ(items.error().description, description) << document;
  }
}

TEST(HistoryCodecTest, AnUnrecognisedContentTypeIsNamedAsRead) {
  const std::pair<std::string, std::string> cases[] = {
      {R"("Text")", "Invalid type: Text"},
      {R"("")", "Invalid type: "},
      {R"("te\"xt")", "Invalid type: te\"xt"},
      {R"("TEXT ")", "Invalid type: TEXT "},
      // Still one plain line: control characters are shown escaped.
      {R"("a\nb\u001b[31m\u007f")", R"(Invalid type: a\u000Ab\u001B[31m\u007F)"},
  };
  for (const auto& [type, tail] : cases) {
    const auto items = decodeHistory("[" + entryWith("content", R"({"type":)" + type + R"(,"value":"v"})") + "]");
    ASSERT_FALSE(items.ok());
    EXPECT_EQ(items.error().description, R"(entry at index 0, key "content" > "type": )" + tail);
  }
}

TEST(HistoryCodecTest, DeepNestingFailsWithoutExhaustingTheStack) {
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const auto items = decodeHistory(deep);
  ASSERT_FALSE(items.ok());
  EXPECT_EQ(items.error().description, "entry at index 0: expected an object, found an array");
}

TEST(HistoryCodecTest, TextThatIsNotUtf8OrATimestampThatIsNotFiniteCannotBeEncoded) {
  std::vector<ClipboardItem> cases = {
      test::textEntry("ok \xff"),
      {kId1, Date{1}, TextContent{"ok"}, ItemType::text, "title \xc3"},
      test::fileEntry({"/tmp/\xed\xa0\x80"}, {Bytes{}}),  // an encoded surrogate
      test::textEntry("ok", std::numeric_limits<double>::infinity()),
      test::textEntry("ok", std::nan("")),
  };
  for (const auto& item : cases) {
    const auto document = encodeHistory(std::vector<ClipboardItem>{test::textEntry("fine"), item});
    ASSERT_FALSE(document.ok()) << item.displayText;
    EXPECT_TRUE(document.error().description.starts_with("the entry " + item.id.uuidString() + " cannot be saved: "))
        << document.error().description;
  }
}

}  // namespace
}  // namespace bm
