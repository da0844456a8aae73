#include <gtest/gtest.h>

#include "capture/display_text.h"

#include <unicode/unistr.h>
#include "shared/utf8.h"

namespace bm {
namespace {

struct TextCase {
  std::string text;
  std::string prefix;
  std::string title;
};

void expectTitles(const std::vector<TextCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(makeDisplayText(c.text, c.prefix), c.title) << "text: \"" << c.text << "\" prefix: \"" << c.prefix << '"';
  }
}

// User-perceived characters are counted by the code under test; the tests
// count code points with ICU to show where a cut by code points would differ.
int32_t codePoints(const std::string& s) { return icu::UnicodeString::fromUTF8(s).countChar32(); }

TEST(DisplayTextTest, LineBreaksAndTabsBecomeSingleSpaces) {
  expectTitles({
      {"first line\nsecond", "", "first line second"},
      {"windows\r\nline", "", "windows line"},
      {"old mac\rline", "", "old mac line"},
      {"a\t \t  b", "", "a b"},
      {"a\n\n\n\tb", "", "a b"},
      {"a\vb\fc", "", "a b c"},
      {"a\u2028b\u2029c", "", "a b c"},
      {"a\u0085b", "", "a b"},
      {"a\u3000\u3000b", "", "a b"},
      {"a\u00A0b", "", "a b"},
  });
}

TEST(DisplayTextTest, EscapedLineBreaksAndTabsLoseTheirLetter) {
  expectTitles({
      {"C:\\new\\test", "", "C: ew est"},
      {"x\\ry", "", "x y"},
      {"one\\ntwo", "", "one two"},
      // A backslash before any other letter is kept.
      {"C:\\Users\\bob", "", "C:\\Users\\bob"},
      {"\\n\\t\\r", "", ""},
  });
}

TEST(DisplayTextTest, EndsAreTrimmed) {
  expectTitles({
      {"  \n\t hello \r\n ", "", "hello"},
      {"\u3000\u00A0wide\u2003", "", "wide"},
      {"\u0085\v\fnel\u2028", "", "nel"},
      {"\\nescaped\\t", "", "escaped"},
  });
}

TEST(DisplayTextTest, BlankTextGivesTheBarePrefix) {
  for (const std::string blank : {"", " ", "\n\r\t", " \u3000\u0085\u2029 ", "\\n\\t"}) {
    EXPECT_EQ(makeDisplayText(blank, ""), "") << blank;
    EXPECT_EQ(makeDisplayText(blank, "Figma: "), "Figma: ") << blank;
  }
}

TEST(DisplayTextTest, PrefixIsKeptAsGiven) {
  expectTitles({
      {"  hello\n", "Figma: ", "Figma: hello"},
      {"x", "A  B:\n", "A  B:\nx"},
      {"x", " ", " x"},
  });
}

TEST(DisplayTextTest, TitlesLongerThanTwentyCharactersAreCut) {
  expectTitles({
      {"abcdefghijklmnopqrst", "", "abcdefghijklmnopqrst"},
      {"abcdefghijklmnopqrstu", "", "abcdefghijklmnopqrst..."},
      {"The quick brown fox jumps over the lazy dog", "", "The quick brown fox ..."},
      // Counted after cleaning: 25 characters as copied, 20 once cleaned.
      {"\n abcdefghij\n\nklmnopqrs \n", "", "abcdefghij klmnopqrs"},
      // The prefix counts toward the 20.
      {"abcdefghijklm", "Figma: ", "Figma: abcdefghijklm"},
      {"abcdefghijklmn", "Figma: ", "Figma: abcdefghijklm..."},
      {"anything", "a prefix longer than twenty", "a prefix longer than..."},
  });
  EXPECT_EQ(makeDisplayText("abcdefghijklmnopqrstu", "").size(), 23u);
}

TEST(DisplayTextTest, CutCountsAndKeepsWholeUserPerceivedCharacters) {
  const std::string nineteen = "abcdefghijklmnopqrs";
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const std::string flag = "\U0001F1E9\U0001F1EA";
  const std::string thumbsUp = "\U0001F44D\U0001F3FD";
  const std::string accented = "e\u0301";
  expectTitles({
      {nineteen + family, "", nineteen + family},
      {nineteen + family + "z", "", nineteen + family + "..."},
      {nineteen + flag + flag, "", nineteen + flag + "..."},
      {nineteen + thumbsUp + "!", "", nineteen + thumbsUp + "..."},
      {nineteen + accented, "", nineteen + accented},
      {nineteen + accented + "x", "", nineteen + accented + "..."},
      // A combining mark after the 20th letter belongs to it.
      {nineteen + "t\u0301\u0323x", "", nineteen + "t\u0301\u0323..."},
      {"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3092\u30B3\u30D4\u30FC\u3057\u307E\u3057\u305F\u3002\u9577\u3044\u6587",
       "", "\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3092\u30B3\u30D4\u30FC\u3057\u307E\u3057\u305F\u3002\u9577\u3044\u6587"},
  });

  // Twenty accented letters are forty code points but twenty characters.
  std::string twentyAccented;
  for (int i = 0; i < 20; ++i) twentyAccented += accented;
  ASSERT_EQ(codePoints(twentyAccented), 40);
  EXPECT_EQ(makeDisplayText(twentyAccented, ""), twentyAccented);
  EXPECT_EQ(makeDisplayText(twentyAccented + accented, ""), twentyAccented + "...");
}

TEST(DisplayTextTest, IllFormedInputStillGivesWellFormedUtf8) {
  EXPECT_EQ(makeDisplayText("ab\xFF\xFE", ""), "ab\uFFFD\uFFFD");
  EXPECT_EQ(makeDisplayText("\xE2\x82 x", "File: "), "File: \uFFFD x");
  for (const std::string text : {"\xC3", "abcdefghijklmnopqrs\xE2\x82\xAC\xF0\x9F", "\xED\xA0\x80 surrogate",
                                 "\xC0\xAF\n\xF8\x88\x80\x80\x80 overlong and too long"}) {
    const std::string title = makeDisplayText(text, "");
    EXPECT_TRUE(isValidUtf8(title)) << title;
    EXPECT_FALSE(title.empty());
  }
}

TEST(DisplayTextTest, LongTextsGiveTheTitleOfTheirWholeText) {
  const auto repeat = [](const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
  };
  const struct {
    const char* name;
    std::string text;
    std::string title;
  } cases[] = {
      {"a start of white space longer than a page", repeat(" \n\t\r", 3000) + repeat("word ", 10),
       "word word word word ..."},
      {"nothing but white space", repeat("\t \n", 50000), ""},
      {"few characters after much white space", repeat(" ", 100000) + "short\n", "short"},
      {"accents and escapes across page edges", repeat("\u00e9\\n", 5000), repeat("\u00e9 ", 10) + "..."},
      {"a grapheme cluster of many marks", "a" + repeat("\u0301", 5000) + repeat("b", 30),
       "a" + repeat("\u0301", 5000) + repeat("b", 19) + "..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(makeDisplayText(c.text, ""), c.title);
  }
}

TEST(FileDisplayTextTest, OneFileShowsItsCleanedName) {
  struct Case {
    std::string path;
    std::string title;
  };
  const Case cases[] = {
      {"/tmp/report.pdf", "File: report.pdf"},
      {"/home/u/abcdefghij.txt", "File: abcdefghij.txt"},
      {"/home/u/quarterly-report-2024.pdf", "File: quarterly-repo..."},
      {"/home/u/Photos/", "File: Photos"},
      {"/tmp/two\nlines.txt", "File: two lines.txt"},
      {"/tmp/ spaced  name ", "File: spaced name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(makeFileDisplayText({Url::fileUrlWithPath(c.path)}), c.title) << c.path;
  }
}

TEST(FileDisplayTextTest, SeveralFilesShowTheCountAndAtMostTwoNames) {
  struct Case {
    std::vector<std::string> paths;
    std::string title;
  };
  const Case cases[] = {
      {{}, "0 Files:"},
      {{"/x/a.c", "/y/b.c"}, "2 Files: a.c, b.c"},
      {{"/x/a.txt", "/x/b.txt", "/x/c.txt"}, "3 Files: a.txt, b.tx..."},
      {{"/a", "/b", "/c", "/d", "/e", "/f", "/g", "/h", "/i", "/j", "/k", "/l"}, "12 Files: a, b"},
      {{"/x/first\tname", "/x/second"}, "2 Files: first name,..."},
  };
  for (const auto& c : cases) {
    std::vector<Url> urls;
    for (const auto& path : c.paths) urls.push_back(Url::fileUrlWithPath(path));
    EXPECT_EQ(makeFileDisplayText(urls), c.title) << c.paths.size() << " files";
  }
}

}  // namespace
}  // namespace bm
