#include <gtest/gtest.h>

#include "model/base64.h"

namespace bm {
namespace {

TEST(Base64Test, EncodesAndDecodesTheStandardVectors) {
  // RFC 4648, section 10, and bytes that use "+" and "/".
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(base64Encode(bytesOf(plain)), encoded);
    EXPECT_EQ(base64Decode(encoded), bytesOf(plain)) << encoded;
  }
  Bytes every(256);
  for (int i = 0; i < 256; ++i) every[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(base64Decode(base64Encode(every)), every);
}

TEST(Base64Test, RefusesAnythingButStrictStandardText) {
  for (const char* text : {"Zg", "Zg=", "Zm9", "Z===", "====", "Zg==Zg==", "Zm9v\n", " Zm9v", "Zm-v", "Zm_v", "Zm9v=",
                           "Z=9v", "Zm\x80v"}) {
    EXPECT_EQ(base64Decode(text), std::nullopt) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace bm
