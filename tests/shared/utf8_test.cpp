#include <gtest/gtest.h>

#include <string>

#include "shared/utf8.h"

namespace bm {
namespace {

TEST(Utf8Test, TellsWellFormedTextFromOtherBytes) {
  const struct {
    const char* what;
    std::string bytes;
    bool valid;
  } cases[] = {
      {"nothing", "", true},
      {"ASCII with a NUL", std::string("a\0b", 3), true},
      {"two-, three- and four-byte characters", "é € 😀", true},
      {"the last code point", "\xF4\x8F\xBF\xBF", true},
      {"a cut-off sequence", "ab\xE2\x82", false},
      {"a lone continuation byte", "a\x80" "b", false},
      {"an encoded surrogate", "\xED\xA0\x80", false},
      {"an overlong slash", "\xC0\xAF", false},
      {"past the last code point", "\xF4\x90\x80\x80", false},
      {"Latin-1", "Gr\xFC\xDF" "e", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.what;
}

}  // namespace
}  // namespace bm
