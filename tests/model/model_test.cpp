#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "model/clipboard_item.h"

namespace bm {
namespace {

struct RawCase {
  std::string text;
  std::optional<PreviewStyle> style;
};

TEST(PreviewStyleTest, FromRawMatchesOnlyTheExactText) {
  const RawCase cases[] = {
      {"Show always", PreviewStyle::always},
      {"Show for 5 seconds", PreviewStyle::temporary},
      {"Hide", PreviewStyle::hidden},
      {"show for 5 seconds", std::nullopt},
      {"Show For 5 Seconds", std::nullopt},
      {"Hide ", std::nullopt},
      {" Hide", std::nullopt},
      {"hidden", std::nullopt},
      {"temporary", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(fromRaw<PreviewStyle>(c.text), c.style) << '"' << c.text << '"';
}

TEST(PreviewStyleTest, CasesRoundTripInMenuOrder) {
  const auto cases = allCases<PreviewStyle>();
  ASSERT_EQ(cases.size(), 3u);
  EXPECT_EQ(cases[0], PreviewStyle::always);
  EXPECT_EQ(cases[1], PreviewStyle::temporary);
  EXPECT_EQ(cases[2], PreviewStyle::hidden);
  for (auto style : cases) EXPECT_EQ(fromRaw<PreviewStyle>(rawValue(style)), style);
}

TEST(ItemTypeTest, RawValuesAreExactAndCaseSensitive) {
  EXPECT_EQ(rawValue(ItemType::text), "text");
  EXPECT_EQ(rawValue(ItemType::image), "image");
  EXPECT_EQ(rawValue(ItemType::file), "file");
  EXPECT_EQ(rawValue(ItemType::data), "data");
  EXPECT_EQ(fromRaw<ItemType>("text"), ItemType::text);
  for (const char* other : {"Text", "TEXT", "text ", "", "string"}) EXPECT_EQ(fromRaw<ItemType>(other), std::nullopt);
}

TEST(UuidTest, RandomIsCanonicalUpperCaseVersion4) {
  const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const auto text = Uuid::random().uuidString();
    EXPECT_TRUE(std::regex_match(text, canonical)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(UuidTest, ParsesEitherCaseToTheSameValue) {
  const auto upper = Uuid::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  const auto lower = Uuid::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(upper && lower);
  EXPECT_EQ(*upper, *lower);
  EXPECT_EQ(lower->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

TEST(UuidTest, RejectsMalformedText) {
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                          "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                          "E621E1F8_C36C-495A-93FC-0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5}"}) {
    EXPECT_EQ(Uuid::fromString(bad), std::nullopt) << bad;
  }
}

TEST(DateTest, CountsFromTheStartOf2001Utc) {
  EXPECT_EQ(Date::fromUnixSeconds(978307200.0).secondsSinceReferenceDate, 0.0);
  EXPECT_EQ(Date{0}.unixSeconds(), 978307200.0);
  EXPECT_EQ(Date::fromUnixSeconds(978307200.25).secondsSinceReferenceDate, 0.25);
}

TEST(ClipboardContentTest, EntriesWithEqualContentStayDistinctEntries) {
  const ClipboardItem a{Uuid::random(), Date{1}, FileContent{}, ItemType::file, "0 Files:"};
  const ClipboardItem b{Uuid::random(), Date{1}, FileContent{}, ItemType::file, "0 Files:"};
  EXPECT_TRUE(identicalContents(a.content, b.content));  // a file content with no files is a valid content
  EXPECT_NE(a.id, b.id);
}

TEST(ClipboardContentTest, IdenticalContentsComparesEveryField) {
  const Uuid id = Uuid::random();
  const ClipboardContent base[] = {TextContent{"a"}, ImageContent{id}, FileContent{{"/a"}, {Bytes{1}}}, DataContent{id}};
  const ClipboardContent changed[] = {TextContent{"b"}, ImageContent{Uuid::random()}, FileContent{{"/a"}, {Bytes{2}}},
                                      DataContent{Uuid::random()}};
  for (size_t i = 0; i < std::size(base); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(identicalContents(base[i], base[i]));
    EXPECT_FALSE(identicalContents(base[i], changed[i]));
    EXPECT_FALSE(identicalContents(base[i], base[(i + 1) % std::size(base)]));  // another case
  }
  EXPECT_FALSE(identicalContents(FileContent{{"/a"}, {}}, FileContent{{"/b"}, {}}));
}

}  // namespace
}  // namespace bm
