#include "capture/display_text.h"

#include <unicode/brkiter.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>
#include <string_view>

namespace bm {
namespace {

constexpr int32_t kMaxTitleCharacters = 20;

// Escaped spellings count too: text copied from source code or logs often
// carries a literal backslash-n where the line broke.
void replaceLineBreaksAndTabs(icu::UnicodeString& text) {
  static const char16_t* const kReplaced[] = {u"\n", u"\r", u"\t", u"\\n", u"\\r", u"\\t",
                                              u"\u2028", u"\u2029", u"\v", u"\f", u"\u0085"};
  const icu::UnicodeString space(u' ');
  for (const char16_t* replaced : kReplaced) text.findAndReplace(icu::UnicodeString(replaced), space);
}

bool isWhitespaceOrNewline(UChar32 c) {
  return u_charType(c) == U_SPACE_SEPARATOR || (c >= 0x09 && c <= 0x0D) || c == 0x85;
}

void trimWhitespaceAndNewlines(icu::UnicodeString& text) {
  int32_t end = text.length();
  while (end > 0) {
    const UChar32 c = text.char32At(end - 1);
    if (!isWhitespaceOrNewline(c)) break;
    end -= U16_LENGTH(c);
  }
  int32_t start = 0;
  while (start < end) {
    const UChar32 c = text.char32At(start);
    if (!isWhitespaceOrNewline(c)) break;
    start += U16_LENGTH(c);
  }
  text.retainBetween(start, end);
}

void collapseWhitespaceRuns(icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  icu::RegexMatcher matcher(u"\\s+", text, 0, status);
  if (U_FAILURE(status)) return;
  icu::UnicodeString collapsed = matcher.replaceAll(u" ", status);
  if (U_SUCCESS(status)) text = collapsed;
}

// Offset just past the first kMaxTitleCharacters user-perceived characters,
// or -1 when the title is not longer than that.
int32_t cutOffset(const icu::UnicodeString& title) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) {
    // Without break data, code points are the best cut that still keeps the text well-formed.
    if (title.countChar32() <= kMaxTitleCharacters) return -1;
    return title.moveIndex32(0, kMaxTitleCharacters);
  }
  characters->setText(title);
  const int32_t offset = characters->next(kMaxTitleCharacters);
  if (offset == icu::BreakIterator::DONE || offset >= title.length()) return -1;
  return offset;
}

// The first `bytes` bytes of the text, shortened to end on a whole UTF-8 sequence.
std::string_view startOf(std::string_view text, size_t bytes) {
  if (bytes >= text.size()) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

// Whether the title holds more than `count` user-perceived characters.
bool holdsMoreThan(const icu::UnicodeString& title, int32_t count) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) return title.countChar32() > count;
  characters->setText(title);
  const int32_t offset = characters->next(count);
  return offset != icu::BreakIterator::DONE && offset < title.length();
}

icu::UnicodeString titleOf(std::string_view text, const std::string& prefix) {
  // Ill-formed UTF-8 becomes U+FFFD here, so the title is always well-formed.
  icu::UnicodeString cleaned = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  replaceLineBreaksAndTabs(cleaned);
  trimWhitespaceAndNewlines(cleaned);
  collapseWhitespaceRuns(cleaned);
  icu::UnicodeString title = icu::UnicodeString::fromUTF8(prefix);
  title += cleaned;
  return title;
}

}  // namespace

std::string makeDisplayText(const std::string& text, const std::string& prefix) {
  // Only the start of a text can reach its title. Every step works on
  // neighbouring characters only, so once a start of the text gives a few
  // characters more than the cut keeps, the rest of the text cannot change
  // them: a copy of many megabytes costs no more than its first pages.
  constexpr size_t kFirstTry = 4096;
  icu::UnicodeString title;
  for (size_t bytes = kFirstTry;; bytes *= 2) {
    const std::string_view start = startOf(text, bytes);
    title = titleOf(start, prefix);
    if (start.size() == text.size() || holdsMoreThan(title, kMaxTitleCharacters + 2)) break;
  }
  const int32_t cut = cutOffset(title);
  if (cut >= 0) {
    title.truncate(cut);
    title += u"...";
  }
  std::string result;
  return title.toUTF8String(result);
}

std::string makeFileDisplayText(const std::vector<Url>& urls) {
  if (urls.size() == 1) return makeDisplayText(urls.front().lastPathComponent(), "File: ");
  std::string text = std::to_string(urls.size()) + " Files: ";
  for (size_t i = 0; i < urls.size() && i < 2; ++i) {
    if (i > 0) text += ", ";
    text += urls[i].lastPathComponent();
  }
  return makeDisplayText(text, "");
}

}  // namespace bm
