#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include <map>

#include "platform/qt/clipboard/mime_types.h"
#include "platform/qt/clipboard/qt_pasteboard.h"
#include "shared/qt_image_codec.h"
#include "platform/qt/pump.h"

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
  const struct {
    const char* what;
    std::vector<std::pair<const char*, QByteArray>> formats;
    std::vector<std::string> paths;
  } copies[] = {
      {"a uri-list with a link", {{"text/uri-list", "file:///tmp/a%20b.txt\r\nhttps://example.com/page\r\n"}},
       {"/tmp/a b.txt"}},
      {"a uri-list with a comment", {{"text/uri-list", "# copied\r\nfile:///tmp/one\r\n"}}, {"/tmp/one"}},
      {"a file manager's copy", {{"x-special/gnome-copied-files", "copy\nfile:///tmp/one\nfile:///tmp/tw%C3%B6\n"}},
       {"/tmp/one", "/tmp/twö"}},
      {"a file manager's cut", {{"x-special/gnome-copied-files", "cut\nfile:///tmp/one"}}, {"/tmp/one"}},
      {"both flavours: the list",
       {{"text/uri-list", "file:///tmp/listed\r\n"}, {"x-special/gnome-copied-files", "copy\nfile:///tmp/copied"}},
       {"/tmp/listed"}},
      {"a list naming no file, then the file manager's",
       {{"text/uri-list", "https://example.com/\r\n"}, {"x-special/gnome-copied-files", "copy\nfile:///tmp/copied"}},
       {"/tmp/copied"}},
      {"only links", {{"text/uri-list", "https://example.com/\r\nmailto:someone@example.com\r\n"}}, {}},
  };
  for (const auto& [what, formats, paths] : copies) {
    SCOPED_TRACE(what);
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : formats) data->setData(format, bytes);
    otherApplicationCopies(data);
    std::vector<std::string> read;
    for (const Url& url : pasteboard.readUrls()) read.push_back(url.path());
    EXPECT_EQ(read, paths);
  }
}

// On X11 Qt lists UTF8_STRING, STRING and TEXT as text/plain; raw flavour
// names show where the platform passes them through (Wayland, this process).
TEST_F(QtPasteboardTest, PlainTextIsReadFromAnyTextFlavourAsUtf8) {
  const struct {
    const char* what;
    std::vector<std::pair<const char*, QByteArray>> formats;
    std::optional<std::string> text;
  } copies[] = {
      {"text/plain", {{"text/plain", "Grüße"}}, "Grüße"},
      {"UTF-8 preferred over Latin-1", {{"STRING", "Gr\xfc\xdf" "e"}, {"text/plain;charset=utf-8", "utf8 ✓"}},
       "utf8 ✓"},
      {"STRING is Latin-1", {{"STRING", "Gr\xfc\xdf" "e"}}, "Grüße"},
      {"TEXT is Latin-1", {{"TEXT", "caf\xe9"}}, "café"},
      {"UTF8_STRING", {{"UTF8_STRING", "✓"}}, "✓"},
      {"a named charset", {{"text/plain;charset=ISO-8859-1", "\xe9t\xe9"}}, "été"},
      {"UTF-16 with its mark", {{"text/plain;charset=utf-16", QByteArray("\xff\xfeh\0i\0", 6)}}, "hi"},
      {"an unknown charset, then Latin-1", {{"text/plain;charset=x-unheard-of", "?"}, {"STRING", "\xe0"}}, "à"},
      {"invalid UTF-8, then a valid flavour", {{"text/plain", "\xc3("}, {"STRING", "\xc3("}}, "Ã("},
      {"only invalid UTF-8", {{"text/plain;charset=utf-8", "\xc3("}, {"UTF8_STRING", "\xff"}}, std::nullopt},
      {"no text flavour", {{"text/plainish", "x"}, {"COMPOUND_TEXT", "x"}}, std::nullopt},
  };
  for (const auto& [what, formats, text] : copies) {
    SCOPED_TRACE(what);
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : formats) data->setData(format, bytes);
    otherApplicationCopies(data);
    EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), text);
    if (text) {
      EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeString), bytesOf(*text));
    }
    // A text flavour is on offer even when none holds valid text.
    EXPECT_EQ(pasteboard.availableTypeFromArray({std::string(kPasteboardTypeString)}).has_value(),
              std::string_view(formats.front().first) != "text/plainish");
  }
}

// Counts the owner's answers per format, as an X11 owner sees requests.
class CountingMimeData : public QMimeData {
 public:
  explicit CountingMimeData(std::map<QString, int>& requests) : requests_(requests) {}

 protected:
  QVariant retrieveData(const QString& format, QMetaType type) const override {
    ++requests_[format];
    return QMimeData::retrieveData(format, type);
  }

 private:
  std::map<QString, int>& requests_;
};

// Every read capture may make of one change, in its order, twice over.
void readAsCaptureDoes(Pasteboard& pasteboard) {
  for (int round = 0; round < 2; ++round) {
    pasteboard.types();
    pasteboard.readUrls();
    pasteboard.dataForType(kPasteboardTypeTIFF);
    pasteboard.types();
    pasteboard.stringForType(kPasteboardTypeChromiumSourceURL);
    pasteboard.stringForType(kPasteboardTypeString);
    for (const auto& type : pasteboard.types()) pasteboard.dataForType(type);
    if (const auto first = pasteboard.availableTypeFromArray(pasteboard.types())) pasteboard.dataForType(*first);
    pasteboard.availableTypeFromArray({std::string(kPasteboardTypeTIFF), std::string(kPasteboardTypeString)});
  }
}

TEST_F(QtPasteboardTest, EachTypeIsAskedOfItsOwnerOnceAChange) {
  QImage image(6, 4, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");

  const struct {
    const char* what;
    std::vector<std::pair<const char*, QByteArray>> formats;
  } copies[] = {
      {"a file manager's copy",
       {{"x-special/gnome-copied-files", "copy\nfile:///tmp/a"}, {"text/uri-list", "file:///tmp/a\r\n"},
        {"text/plain", "a"}}},
      {"a browser's copy",
       {{"text/html", "<p>Frame</p>"}, {"chromium/x-source-url", "https://www.figma.com/file/x"},
        {"text/plain;charset=utf-8", "Frame"}, {"text/plain", "Frame"}, {"application/x-custom", "\x01"}}},
      {"an image with text", {{"image/png", png}, {"text/plain", "picture"}}},
      {"a link", {{"text/uri-list", "https://example.com/\r\n"}, {"text/plain", "https://example.com/"}}},
      {"no text, no image", {{"application/x-custom", "\x01\x02"}, {"image/x-unreadable", "??"}}},
  };
  for (const auto& [what, formats] : copies) {
    SCOPED_TRACE(what);
    std::map<QString, int> requests;
    auto* data = new CountingMimeData(requests);
    for (const auto& [format, bytes] : formats) data->setData(format, bytes);
    otherApplicationCopies(data);
    readAsCaptureDoes(pasteboard);
    for (const auto& [format, count] : requests) EXPECT_EQ(count, 1) << format.toStdString();
    // What was read once is what the owner offers.
    for (const auto& [format, bytes] : formats) {
      if (QString(format) == "text/plain" && data->hasFormat("text/plain;charset=utf-8")) continue;  // not preferred
      EXPECT_EQ(pasteboard.dataForType(pasteboardTypeFor(format)), Bytes(bytes.begin(), bytes.end())) << format;
    }
  }

  // A new change is read afresh, and so is what this application writes.
  auto* text = new QMimeData;
  text->setData("text/plain", "first");
  otherApplicationCopies(text);
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "first");
  auto* next = new QMimeData;
  next->setData("text/plain", "second");
  otherApplicationCopies(next);
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "second");
  pasteboard.clearContents();
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), std::nullopt);
  pasteboard.setString("mine", kPasteboardTypeString);
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "mine");
  pasteboard.setData(Bytes(png.begin(), png.end()), "image/png");
  EXPECT_EQ(images.decode(pasteboard.dataForType(kPasteboardTypeTIFF).value())->size(), (Size{6, 4}));
}

// An owner that quits: Qt then reads nothing and lists no format any more.
class VanishingMimeData : public QMimeData {
 public:
  bool gone = false;
  QStringList formats() const override { return gone ? QStringList() : QMimeData::formats(); }

 protected:
  QVariant retrieveData(const QString& format, QMetaType type) const override {
    return gone ? QVariant() : QMimeData::retrieveData(format, type);
  }
};

TEST_F(QtPasteboardTest, AChangeWhoseOwnerIsGoneGivesNothing) {
  auto* data = new VanishingMimeData;
  data->setData("application/x-custom", "bytes");
  data->setData("application/x-empty", "");
  data->setData("text/plain", "text");
  otherApplicationCopies(data);
  // Zero bytes from a live owner stay zero bytes.
  EXPECT_EQ(pasteboard.dataForType("application/x-empty"), Bytes{});
  EXPECT_EQ(pasteboard.availableTypeFromArray({"application/x-custom"}), "application/x-custom");

  data->gone = true;
  EXPECT_EQ(pasteboard.dataForType("application/x-custom"), std::nullopt);
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), std::nullopt);
  EXPECT_TRUE(pasteboard.types().empty());
  EXPECT_EQ(pasteboard.availableTypeFromArray({"application/x-custom"}), std::nullopt);
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
