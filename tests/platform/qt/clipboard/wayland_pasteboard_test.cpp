#include "platform/qt/clipboard/wayland_pasteboard.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "platform/qt/pump.h"
#include "shared/qt_image_codec.h"
#include "support/test_images.h"
#include "wl_clipboard_tools.h"

// What the Wayland pasteboard adds to the contract every pasteboard keeps:
// the count a relaunch finds, and our offer as other programs read it. Runs
// in the headless sway that ctest -L desktop starts; skipped elsewhere.
namespace bm::qt {
namespace {

class WaylandPasteboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::inTestCompositor()) pasteboard = launch();
    if (!pasteboard) GTEST_SKIP() << "needs a Wayland session with data-control (ctest -L desktop)";
  }

  std::unique_ptr<WaylandPasteboard> launch() {
    auto wayland = WaylandClipboard::connect();
    return wayland ? std::make_unique<WaylandPasteboard>(std::move(wayland), images) : nullptr;
  }

  // Another program copies; true once the pasteboard counts a new change.
  bool theyCopy(const QByteArray& bytes, const QString& type) {
    const auto before = pasteboard->changeCount();
    others.copy(bytes, type);
    return test::pump(5000, [&] { return pasteboard->changeCount() != before; });
  }

  // As a string: gtest shows it as text when it differs.
  std::string paste(const QStringList& arguments) {
    return test::WlClipboardTools::paste(arguments, [] { test::pump(5); }).toStdString();
  }

  QtImageCodec images;
  std::unique_ptr<WaylandPasteboard> pasteboard;
  test::WlClipboardTools others;
};

TEST_F(WaylandPasteboardTest, ARelaunchFindsTheCountOfAnUnchangedSelection) {
  // Copied earlier in the run too, though not straight before.
  ASSERT_TRUE(theyCopy("copied before the relaunch", "text/plain"));
  ASSERT_TRUE(theyCopy("something else", "text/plain"));
  ASSERT_TRUE(theyCopy("copied before the relaunch", "text/plain"));
  const auto before = pasteboard->changeCount();
  pasteboard.reset();
  pasteboard = launch();
  EXPECT_EQ(pasteboard->changeCount(), before);

  ASSERT_TRUE(theyCopy("copied after it", "text/plain"));
  EXPECT_NE(pasteboard->changeCount(), before);
}

TEST_F(WaylandPasteboardTest, OtherProgramsReadOurOfferInTheirTypes) {
  pasteboard->clearContents();
  ASSERT_TRUE(pasteboard->setString("restored ✓", kPasteboardTypeString));
  ASSERT_TRUE(pasteboard->setData(bytesOf("<b>restored</b>"), kPasteboardTypeHTML));
  EXPECT_EQ(paste({"--list-types"}), "text/plain;charset=utf-8\ntext/plain\nUTF8_STRING\nTEXT\nSTRING\ntext/html\n");
  for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"})
    EXPECT_EQ(paste({"--no-newline", "--type", type}), "restored ✓") << type;
  EXPECT_EQ(paste({"--no-newline", "--type", "text/html"}), "<b>restored</b>");

  const Bytes tiff = bm::test::stripes(12, 4, "TIFF");
  pasteboard->clearContents();
  ASSERT_TRUE(pasteboard->writeImage(images.decode(tiff).value()));
  EXPECT_EQ(paste({"--list-types"}), "image/png\nimage/tiff\n");
  EXPECT_EQ(bytesOf(paste({"--no-newline", "--type", "image/tiff"})), tiff);
  const QImage png = QImage::fromData(QByteArray::fromStdString(paste({"--no-newline", "--type", "image/png"})), "PNG");
  EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), toQImage(images.decode(tiff).value()).convertToFormat(QImage::Format_RGB32));

  pasteboard->clearContents();
  ASSERT_TRUE(pasteboard->writeFileUrls({Url::fileUrlWithPath("/tmp/a c/dé.txt"), Url::fileUrlWithPath("/tmp/b")}));
  EXPECT_EQ(paste({"--no-newline", "--type", "text/uri-list"}), "file:///tmp/a%20c/d%C3%A9.txt\r\nfile:///tmp/b\r\n");
  EXPECT_EQ(paste({"--no-newline", "--type", "x-special/gnome-copied-files"}), "copy\nfile:///tmp/a%20c/d%C3%A9.txt\nfile:///tmp/b");

  const QByteArray binary("\x00\x01\xff\x00\x7f", 5);
  pasteboard->clearContents();
  ASSERT_TRUE(pasteboard->setData(toBytes(binary), "application/x-brindlemux-test"));
  EXPECT_EQ(paste({"--no-newline", "--type", "application/x-brindlemux-test"}), binary.toStdString());
}

TEST_F(WaylandPasteboardTest, ClearingLeavesASelectionOfOursWithNothingInIt) {
  ASSERT_TRUE(theyCopy("theirs", "text/plain"));
  const auto theirs = pasteboard->changeCount();
  EXPECT_NE(pasteboard->clearContents(), theirs);
  EXPECT_TRUE(pasteboard->types().empty());
  EXPECT_EQ(paste({"--list-types"}), "");
}

}  // namespace
}  // namespace bm::qt
