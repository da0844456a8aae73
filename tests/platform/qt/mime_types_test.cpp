#include <gtest/gtest.h>

#include "platform/pasteboard.h"
#include "platform/qt/mime_types.h"

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
  for (const char* flavour : {"text/plain", "text/plain;charset=utf-8", "UTF8_STRING", "STRING", "TEXT"})
    EXPECT_EQ(pasteboardTypeFor(flavour), kPasteboardTypeString) << flavour;
  EXPECT_NE(pasteboardTypeFor("text/plainish"), kPasteboardTypeString);
  for (const char* target : {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "application/x-qt-image"})
    EXPECT_TRUE(isProtocolTarget(target)) << target;
  EXPECT_FALSE(isProtocolTarget("text/html"));
}

}  // namespace
}  // namespace bm::qt
