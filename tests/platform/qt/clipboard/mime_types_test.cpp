#include <gtest/gtest.h>

#include "platform/pasteboard.h"
#include "platform/qt/clipboard/mime_types.h"

namespace bm::qt {
namespace {

TEST(MimeTypesTest, TheNamedTypesMapBothWaysAndOthersPassThrough) {
  const std::pair<std::string_view, const char*> cases[] = {
      {kPasteboardTypeString, "text/plain;charset=utf-8"},
      {kPasteboardTypeTIFF, "image/tiff"},
      {kPasteboardTypeHTML, "text/html"},
      {kPasteboardTypeChromiumSourceURL, "chromium/x-source-url"},
      {kPasteboardTypeFileURL, "text/uri-list"},
      {"application/x-custom", "application/x-custom"},
      {"image/png", "image/png"},
  };
  for (const auto& [type, mime] : cases) {
    EXPECT_EQ(mimeTypeFor(type), QString(mime)) << type;
    EXPECT_EQ(pasteboardTypeFor(mime), type) << mime;
  }
}

TEST(MimeTypesTest, EveryTextFlavourIsPlainTextAndProtocolTargetsAreNoContent) {
  for (const char* flavour :
       {"text/plain", "text/plain;charset=utf-8", "text/plain;charset=utf-16", "UTF8_STRING", "STRING", "TEXT"})
    EXPECT_EQ(pasteboardTypeFor(flavour), kPasteboardTypeString) << flavour;
  for (const char* other : {"text/plainish", "COMPOUND_TEXT", "text/rtf"})
    EXPECT_EQ(pasteboardTypeFor(other), other) << other;
  for (const char* target : {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "application/x-qt-image"})
    EXPECT_TRUE(isProtocolTarget(target)) << target;
  EXPECT_FALSE(isProtocolTarget("text/html"));
}

TEST(MimeTypesTest, TextFlavoursAreReadUtf8FirstAndLatin1Last) {
  const QStringList formats = {"TEXT",        "text/html", "STRING", "text/plain;charset=iso-8859-1", "text/plain",
                               "UTF8_STRING", "text/plain;charset=UTF-8", "COMPOUND_TEXT"};
  EXPECT_EQ(textFlavoursByPreference(formats),
            QStringList({"text/plain;charset=UTF-8", "UTF8_STRING", "text/plain", "text/plain;charset=iso-8859-1",
                         "STRING", "TEXT"}));
  EXPECT_TRUE(textFlavoursByPreference({"text/html", "COMPOUND_TEXT", "image/png"}).isEmpty());
}

TEST(MimeTypesTest, EachFlavoursBytesBecomeUtf8OrNothing) {
  const struct {
    const char* flavour;
    QByteArray bytes;
    std::optional<std::string> text;
  } cases[] = {
      {"text/plain", "Grüße ✓", "Grüße ✓"},
      {"UTF8_STRING", "\xef\xbb\xbfmarked", "\xef\xbb\xbfmarked"},  // kept exactly as offered
      {"text/plain;charset=utf-8", "\xe2\x82", std::nullopt},
      {"text/plain", "\xed\xa0\x80", std::nullopt},
      {"STRING", "Gr\xfc\xdf" "e", "Grüße"},
      {"TEXT", "\xa9 2024", "© 2024"},
      {"text/plain; charset=\"ISO-8859-1\"", "\xe9", "é"},
      {"text/plain;charset=utf-16le", QByteArray("o\0k\0", 4), "ok"},
      {"text/plain;charset=utf-16le", QByteArray("o\0\x00\xd8", 4), std::nullopt},  // a lone surrogate
      {"text/plain;charset=x-unheard-of", "plain", std::nullopt},
      {"text/plain", "", ""},
  };
  for (const auto& [flavour, bytes, text] : cases) EXPECT_EQ(utf8TextOf(flavour, bytes), text) << flavour;
}

TEST(MimeTypesTest, OnlyFileUrlsAreTakenFromUrlLists) {
  const auto paths = [](const std::vector<Url>& urls) {
    std::vector<std::string> result;
    for (const auto& url : urls) result.push_back(url.path());
    return result;
  };
  EXPECT_EQ(paths(fileUrlsOfUriList("# a comment\r\nfile:///a%20b\r\nhttps://example.com/\r\n"
                                    "file://localhost/c\r\nfile://elsewhere/d\r\n\r\n")),
            (std::vector<std::string>{"/a b", "/c"}));
  EXPECT_EQ(paths(fileUrlsOfCopiedFiles("cut\nfile:///x\nhttps://example.com/\nfile:///y%C3%A9\n")),
            (std::vector<std::string>{"/x", "/yé"}));
  EXPECT_TRUE(fileUrlsOfCopiedFiles("copy").empty());
  EXPECT_TRUE(fileUrlsOfUriList("").empty());
}

}  // namespace
}  // namespace bm::qt
