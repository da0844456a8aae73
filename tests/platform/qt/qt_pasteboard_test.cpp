#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include "shared/qt_image_codec.h"
#include "platform/qt/qt_pasteboard.h"
#include "pump.h"

namespace bm::qt {
namespace {

class QtPasteboardTest : public ::testing::Test {
 protected:
  // What another application would put on the clipboard.
  void otherApplicationCopies(QMimeData* data) {
    QApplication::clipboard()->setMimeData(data);
    test::pump(20);
  }

  QtImageCodec images;
  QtPasteboard pasteboard{*QApplication::clipboard(), images};
};

TEST_F(QtPasteboardTest, ReadsTypesUnderTheirPasteboardNames) {
  auto* data = new QMimeData;
  data->setText("Frame 1");
  data->setHtml("<p>Frame 1</p>");
  data->setData("chromium/x-source-url", "https://www.figma.com/file/x");
  data->setData("application/x-custom", QByteArray("\x00\x01", 2));
  otherApplicationCopies(data);

  const auto types = pasteboard.types();
  for (const char* type : {"public.utf8-plain-text", "public.html", "org.chromium.source-url", "application/x-custom"})
    EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "Frame 1");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeChromiumSourceURL), "https://www.figma.com/file/x");
  EXPECT_EQ(pasteboard.dataForType("application/x-custom"), (Bytes{0, 1}));
  EXPECT_EQ(pasteboard.availableTypeFromArray({"com.example.none", "application/x-custom"}), "application/x-custom");
  EXPECT_FALSE(pasteboard.dataForType(kPasteboardTypeTIFF));
}

TEST_F(QtPasteboardTest, OffersAnyImageAsTiff) {
  QImage image(12, 8, QImage::Format_RGB32);
  image.fill(Qt::cyan);
  auto* data = new QMimeData;
  data->setImageData(image);
  otherApplicationCopies(data);
  const auto tiff = pasteboard.dataForType(kPasteboardTypeTIFF);
  ASSERT_TRUE(tiff);
  ASSERT_GE(tiff->size(), 4u);
  EXPECT_TRUE((*tiff)[0] == 'I' || (*tiff)[0] == 'M');
  EXPECT_EQ(images.decode(*tiff)->size(), (Size{12, 8}));
}

TEST_F(QtPasteboardTest, ReadsCopiedFilesFromUriListsAndFileManagers) {
  auto* list = new QMimeData;
  list->setUrls({QUrl::fromLocalFile("/tmp/a b.txt"), QUrl("https://example.com/page")});
  otherApplicationCopies(list);
  auto urls = pasteboard.readUrls();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].path(), "/tmp/a b.txt");
  EXPECT_FALSE(urls[1].isFileUrl());

  auto* gnome = new QMimeData;
  gnome->setData("x-special/gnome-copied-files", "copy\nfile:///tmp/one\nfile:///tmp/tw%C3%B6\n");
  otherApplicationCopies(gnome);
  urls = pasteboard.readUrls();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[1].path(), "/tmp/twö");
}

TEST_F(QtPasteboardTest, EverythingWrittenAfterClearingIsOfferedTogether) {
  pasteboard.clearContents();
  EXPECT_TRUE(pasteboard.types().empty());
  pasteboard.setString("plain", kPasteboardTypeString);
  pasteboard.setData(bytesOf("<b>rich</b>"), kPasteboardTypeHTML);
  pasteboard.setData(bytesOf("custom"), "application/x-custom");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "plain");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeHTML), "<b>rich</b>");
  EXPECT_EQ(pasteboard.stringForType("application/x-custom"), "custom");

  pasteboard.clearContents();
  pasteboard.writeFileUrls({Url::fileUrlWithPath("/tmp/x y"), Url::fileUrlWithPath("/tmp/z")});
  const auto urls = pasteboard.readUrls();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].path(), "/tmp/x y");
  EXPECT_EQ(pasteboard.stringForType("x-special/gnome-copied-files"), "copy\nfile:///tmp/x%20y\nfile:///tmp/z");
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeHTML), std::nullopt);  // cleared before

  pasteboard.clearContents();
  QImage image(5, 5, QImage::Format_ARGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(pasteboard.writeImage(fromQImage(image)));
  EXPECT_EQ(images.decode(pasteboard.dataForType(kPasteboardTypeTIFF).value())->size(), (Size{5, 5}));
}

}  // namespace
}  // namespace bm::qt
