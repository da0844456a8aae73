#include "model/pasteboard_snapshot.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace bm {
namespace {

TEST(PasteboardSnapshot, EncodesCompactWithEverySlashEscaped) {
  const PasteboardSnapshot snapshot = {{"public.html", bytesOf("<a href=\"x\">/</a>")},
                                       {"org.chromium.source-url", bytesOf("https://www.figma.com/file/k")},
                                       {"application/x-empty", {}}};
  const auto document = encodePasteboardSnapshot(snapshot);
  ASSERT_TRUE(document.ok());
  EXPECT_EQ(document.value(),
            "{\"public.html\":\"PGEgaHJlZj0ieCI+LzwvYT4=\","
            "\"org.chromium.source-url\":\"aHR0cHM6Ly93d3cuZmlnbWEuY29tL2ZpbGUvaw==\","
            "\"application\\/x-empty\":\"\"}");
  // Any JSON reader reads it back.
  const auto parsed = nlohmann::json::parse(document.value());
  EXPECT_EQ(parsed.at("application/x-empty"), "");
  EXPECT_EQ(parsed.size(), 3u);
}

TEST(PasteboardSnapshot, DecodesWhatItEncodesInOrder) {
  Bytes everyByte;
  for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<std::uint8_t>(b));
  const PasteboardSnapshot snapshot = {{"zeta/type", everyByte}, {"alpha", bytesOf("a")}, {"ünïcode ✓", {}}};
  const auto document = encodePasteboardSnapshot(snapshot);
  ASSERT_TRUE(document.ok());
  const auto decoded = decodePasteboardSnapshot(document.value());
  ASSERT_TRUE(decoded.ok()) << decoded.error().description;
  EXPECT_EQ(decoded.value(), snapshot);
}

TEST(PasteboardSnapshot, ALaterTypeOfTheSameNameReplacesTheEarlier) {
  const auto document = encodePasteboardSnapshot({{"t", bytesOf("first")}, {"u", bytesOf("u")}, {"t", bytesOf("second")}});
  ASSERT_TRUE(document.ok());
  const auto decoded = decodePasteboardSnapshot(document.value());
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value(), (PasteboardSnapshot{{"t", bytesOf("second")}, {"u", bytesOf("u")}}));
}

TEST(PasteboardSnapshot, ATypeNameThatIsNotUtf8CannotBeEncoded) {
  EXPECT_FALSE(encodePasteboardSnapshot({{std::string("bad\xff"), bytesOf("x")}}).ok());
}

TEST(PasteboardSnapshot, RejectsDocumentsThatAreNoSnapshot) {
  for (const char* document : {"", "[]", "\"text\"", "{\"t\":1}", "{\"t\":\"not base64!\"}", "{\"t\":\"QQ\"}", "{\"t\":"}) {
    SCOPED_TRACE(document);
    const auto decoded = decodePasteboardSnapshot(document);
    ASSERT_FALSE(decoded.ok());
    EXPECT_FALSE(decoded.error().description.empty());
  }
  const auto empty = decodePasteboardSnapshot("{}");
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.value().empty());
}

}  // namespace
}  // namespace bm
