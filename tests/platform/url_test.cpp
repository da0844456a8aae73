#include <gtest/gtest.h>

#include "platform/url.h"

namespace bm {
namespace {

TEST(UrlTest, FilePathsSurviveTheRoundTripThroughText) {
  for (const std::string path : {"/tmp/a.txt", "/home/u/My Files/100% done #1?.txt", "/tmp/naïve ☃.txt"}) {
    const auto url = Url::fileUrlWithPath(path);
    const auto parsed = Url::parse(url.absoluteString());
    ASSERT_TRUE(parsed) << url.absoluteString();
    EXPECT_TRUE(parsed->isFileUrl());
    EXPECT_EQ(parsed->path(), path);
  }
}

TEST(UrlTest, ParsesWhatDesktopsPutInUriLists) {
  struct Case {
    std::string text;
    bool isFile;
    std::string path;
  };
  const Case cases[] = {
      {"file:///home/u/a%20b.txt", true, "/home/u/a b.txt"},
      {"file://localhost/etc/hosts", true, "/etc/hosts"},
      {"FILE:///x", true, "/x"},
      {"file://otherhost/x", false, ""},
      {"https://example.com/a/b", false, ""},
      {"file:///bad%zz", false, ""},
  };
  for (const auto& c : cases) {
    const auto url = Url::parse(c.text);
    ASSERT_TRUE(url) << c.text;
    EXPECT_EQ(url->isFileUrl(), c.isFile) << c.text;
    EXPECT_EQ(url->path(), c.path) << c.text;
  }
  EXPECT_FALSE(Url::parse("no scheme here"));
  EXPECT_FALSE(Url::parse(":/x"));
}

TEST(UrlTest, LastPathComponent) {
  const std::pair<std::string, std::string> cases[] = {
      {"/a/b/c.txt", "c.txt"}, {"/a/b/", "b"}, {"/", "/"}, {"", ""}, {"name", "name"}, {"//x//", "x"}};
  for (const auto& [path, last] : cases) EXPECT_EQ(lastPathComponent(path), last) << path;
  EXPECT_EQ(Url::fileUrlWithPath("/tmp/some file.txt").lastPathComponent(), "some file.txt");
}

}  // namespace
}  // namespace bm
