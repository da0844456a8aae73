#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "shared/files.h"
#include "platform/sim/sim_platform.h"

namespace bm::sim {
namespace {

Bytes encoded(const char* format) {
  QImage image(8, 6, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return Bytes(bytes.begin(), bytes.end());
}

class SimPasteboardTest : public ::testing::Test {
 protected:
  SimWorld world;
  SimPasteboard& pasteboard = world.pasteboard;
};

TEST_F(SimPasteboardTest, OffersOtherImageTypesAsTiff) {
  pasteboard.copyImage(encoded("PNG"), "public.png");
  const auto tiff = pasteboard.dataForType(kPasteboardTypeTIFF);
  ASSERT_TRUE(tiff);
  const auto image = world.images.decode(*tiff);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (Size{8, 6}));
  EXPECT_EQ(pasteboard.availableTypeFromArray({"public.tiff"}), "public.tiff");

  pasteboard.copyImage(bytesOf("not really a png"), "public.png");
  EXPECT_FALSE(pasteboard.dataForType(kPasteboardTypeTIFF));
  EXPECT_EQ(pasteboard.dataForType("public.png"), bytesOf("not really a png"));
}

TEST_F(SimPasteboardTest, CopiedFilesAreFileUrlsInOrder) {
  pasteboard.copyFiles({"/tmp/a b.txt", "/tmp/c.txt"});
  const auto urls = pasteboard.readUrls();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].path(), "/tmp/a b.txt");
  EXPECT_EQ(urls[1].path(), "/tmp/c.txt");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "a b.txt");  // the first file's name
  pasteboard.copyText("file:///tmp/x");
  EXPECT_TRUE(pasteboard.readUrls().empty());
}

TEST_F(SimPasteboardTest, BrowserCopyAndFirstAvailableType) {
  const std::string text = "Frame 1";
  pasteboard.copyFromBrowser("<p>Frame 1</p>", "https://www.figma.com/file/x", &text);
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeChromiumSourceURL), "https://www.figma.com/file/x");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "Frame 1");
  EXPECT_EQ(pasteboard.availableTypeFromArray({"com.example.none", "public.html", "public.utf8-plain-text"}),
            "public.html");
  EXPECT_EQ(pasteboard.availableTypeFromArray({"com.example.none"}), std::nullopt);
}

TEST_F(SimPasteboardTest, PlainTextIsReadFromEitherTextFlavour) {
  const std::string plain = "public.plain-text";
  const std::string string(kPasteboardTypeString);
  const Bytes invalid = {'a', 0xc3};
  const struct {
    const char* what;
    PasteboardItem item;
    std::optional<std::string> text;
    std::optional<Bytes> data;
  } cases[] = {
      {"only the generic flavour", {{plain, bytesOf("généric")}}, "généric", bytesOf("généric")},
      {"both: the string type first", {{plain, bytesOf("generic")}, {string, bytesOf("utf8")}}, "utf8",
       bytesOf("utf8")},
      {"the string type not UTF-8", {{string, invalid}, {plain, bytesOf("generic")}}, "generic", invalid},
      {"neither UTF-8", {{plain, invalid}}, std::nullopt, invalid},
      {"no text", {{"com.example.x", bytesOf("x")}}, std::nullopt, std::nullopt},
  };
  for (const auto& [what, item, text, data] : cases) {
    SCOPED_TRACE(what);
    pasteboard.copyItems({item});
    EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), text);
    EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeString), data);
    EXPECT_EQ(pasteboard.availableTypeFromArray({string}), data ? std::optional(string) : std::nullopt);
  }
}

TEST_F(SimPasteboardTest, AWebLinkIsNoUrlObjectButText) {
  pasteboard.copyUrls({"https://example.com/a", "file:///tmp/b%20c", "file://otherhost/tmp/d"});
  const auto urls = pasteboard.readUrls();
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0].path(), "/tmp/b c");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "https://example.com/a");

  // A file URL offered under the link type is a file all the same.
  pasteboard.copyItems({{{std::string(kSimPasteboardTypeURL), bytesOf("file:///tmp/e")}}});
  ASSERT_EQ(pasteboard.readUrls().size(), 1u);
  EXPECT_EQ(pasteboard.readUrls()[0].path(), "/tmp/e");
}

TEST_F(SimPasteboardTest, ThisApplicationsWritesReadBack) {
  const auto image = world.images.decode(encoded("PNG")).value();
  pasteboard.clearContents();
  ASSERT_TRUE(pasteboard.writeImage(image));
  EXPECT_EQ(world.images.decode(pasteboard.dataForType(kPasteboardTypeTIFF).value())->size(), (Size{8, 6}));

  pasteboard.clearContents();
  pasteboard.writeFileUrls({Url::fileUrlWithPath("/tmp/one"), Url::fileUrlWithPath("/tmp/two")});
  ASSERT_EQ(pasteboard.readUrls().size(), 2u);
  EXPECT_EQ(pasteboard.readUrls()[1].path(), "/tmp/two");
}

}  // namespace
}  // namespace bm::sim
