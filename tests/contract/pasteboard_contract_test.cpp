#include <gtest/gtest.h>

#include <functional>

#include "contract/implementation_names.h"
#include "contract/pasteboard_adaptors.h"
#include "support/test_images.h"

// What the core relies on from every pasteboard, run against each platform.
namespace bm::contract {
namespace {

constexpr std::string_view kCustom = "application/x-brindlemux-test";
const Bytes kBinary = {0x00, 0x01, 0xff, 0x00, 0x7f};

Image smallImage() {
  QImage pixels(3, 2, QImage::Format_RGB32);
  pixels.fill(Qt::darkGreen);
  return qt::fromQImage(pixels);
}

template <typename Adaptor>
class PasteboardContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (requires { Adaptor::available(); })
      if (!Adaptor::available()) GTEST_SKIP() << "runs on a desktop only (ctest -L desktop)";
  }
  Pasteboard& pasteboard() { return platform.pasteboard(); }
  void expectOffered(const Offer& offer) {
    std::vector<std::string> types;
    for (const auto& [type, bytes] : offer) {
      types.push_back(type);
      EXPECT_EQ(pasteboard().dataForType(type), bytes) << type;
    }
    EXPECT_EQ(pasteboard().types(), types);
  }
  Adaptor platform;
};

using Implementations =
    ::testing::Types<SimPasteboardAdaptor, QtPasteboardAdaptor, X11PasteboardAdaptor, WaylandPasteboardAdaptor>;
TYPED_TEST_SUITE(PasteboardContract, Implementations, ImplementationNames);

TYPED_TEST(PasteboardContract, EveryReplacementChangesTheCountReadingDoesNot) {
  Pasteboard& pasteboard = this->pasteboard();
  const Offer text = {{std::string(kPasteboardTypeString), bytesOf("same")}};
  const struct {
    const char* what;
    std::function<void()> replace;
  } steps[] = {
      {"another application copies", [&] { this->platform.otherApplicationCopies(text); }},
      {"it copies the same again", [&] { this->platform.otherApplicationCopies(text); }},
      {"it copies nothing", [&] { this->platform.otherApplicationCopies({}); }},
      {"this application writes", [&] {
         pasteboard.clearContents();
         pasteboard.setString("same", kPasteboardTypeString);
       }},
      {"this application writes the same again", [&] {
         pasteboard.clearContents();
         pasteboard.setString("same", kPasteboardTypeString);
       }},
      {"this application only clears", [&] { pasteboard.clearContents(); }},
      {"another application copies after it", [&] { this->platform.otherApplicationCopies(text); }},
  };
  auto previous = pasteboard.changeCount();
  for (const auto& [what, replace] : steps) {
    SCOPED_TRACE(what);
    replace();
    const auto count = pasteboard.changeCount();
    EXPECT_NE(count, previous);
    previous = count;
    pasteboard.types();
    pasteboard.stringForType(kPasteboardTypeString);
    pasteboard.dataForType(kCustom);
    EXPECT_EQ(pasteboard.changeCount(), count);
  }
}

TYPED_TEST(PasteboardContract, ClearingAndTheWritesAfterItAreOneChange) {
  Pasteboard& pasteboard = this->pasteboard();
  this->platform.otherApplicationCopies({{std::string(kPasteboardTypeHTML), bytesOf("<p>old</p>")}});
  const auto before = pasteboard.changeCount();
  const auto cleared = pasteboard.clearContents();
  EXPECT_NE(cleared, before);
  EXPECT_EQ(pasteboard.changeCount(), cleared);
  EXPECT_TRUE(pasteboard.types().empty());
  EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeHTML), std::nullopt);
  pasteboard.setString("new", kPasteboardTypeString);
  pasteboard.setData(kBinary, kCustom);
  EXPECT_EQ(pasteboard.changeCount(), cleared);
}

TYPED_TEST(PasteboardContract, TypesComeInTheOwnersOrderWithTheirBytes) {
  const Offer browser = {{std::string(kPasteboardTypeString), bytesOf("Frame 1")},
                         {std::string(kPasteboardTypeHTML), bytesOf("<p>Frame 1</p>")},
                         {std::string(kPasteboardTypeChromiumSourceURL), bytesOf("https://www.figma.com/file/x")},
                         {std::string(kCustom), kBinary}};
  const struct {
    const char* what;
    Offer offer;
  } copies[] = {{"a browser copy", browser}, {"the same reversed", Offer(browser.rbegin(), browser.rend())},
                {"no type at all", {}}};
  for (const auto& [what, offer] : copies) {
    SCOPED_TRACE(what);
    this->platform.otherApplicationCopies(offer);
    this->expectOffered(offer);
  }
}

TYPED_TEST(PasteboardContract, ThisApplicationsWritesComeBackInTheirOrder) {
  const Offer text = {{std::string(kPasteboardTypeString), bytesOf("plain ✓")}};
  const Offer html = {{std::string(kPasteboardTypeHTML), bytesOf("<b>rich</b>")}};
  const Offer custom = {{std::string(kCustom), kBinary}};
  const auto joined = [](std::initializer_list<Offer> parts) {
    Offer all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  for (const Offer& writes : {joined({text, html, custom}), joined({custom, html, text}), joined({html})}) {
    SCOPED_TRACE(writes.front().first + " first");
    this->pasteboard().clearContents();
    for (const auto& [type, bytes] : writes) {
      if (type == kPasteboardTypeString)
        EXPECT_TRUE(this->pasteboard().setString(textOf(bytes), type));
      else
        EXPECT_TRUE(this->pasteboard().setData(bytes, type));
    }
    this->expectOffered(writes);
  }
}

TYPED_TEST(PasteboardContract, ReadsTextAndDataByType) {
  Pasteboard& pasteboard = this->pasteboard();
  const std::string text = "Grüße\n\ttabs ✓";
  this->platform.otherApplicationCopies(
      {{std::string(kPasteboardTypeString), bytesOf(text)}, {std::string(kCustom), kBinary}});
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), text);
  EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeString), bytesOf(text));
  EXPECT_EQ(pasteboard.dataForType(kCustom), kBinary);
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeHTML), std::nullopt);
  EXPECT_EQ(pasteboard.dataForType("com.example.none"), std::nullopt);
  EXPECT_EQ(pasteboard.availableTypeFromArray({"com.example.none", std::string(kCustom), std::string(kPasteboardTypeString)}),
            std::string(kCustom));
  EXPECT_EQ(pasteboard.availableTypeFromArray({"com.example.none", std::string(kPasteboardTypeHTML)}), std::nullopt);
}

TYPED_TEST(PasteboardContract, UrlObjectsAreFileUrlsOnly) {
  Pasteboard& pasteboard = this->pasteboard();
  const struct {
    const char* what;
    std::vector<std::string> urls;
    std::vector<std::string> paths;
  } copies[] = {
      {"a web link and a file", {"https://example.com/page", "file:///tmp/a%20b.txt"}, {"/tmp/a b.txt"}},
      {"only a web link", {"https://example.com/page"}, {}},
      {"files in order", {"file:///tmp/one", "file:///tmp/tw%C3%B6"}, {"/tmp/one", "/tmp/twö"}},
      {"another machine's file", {"file://elsewhere/tmp/x"}, {}},
  };
  for (const auto& [what, urls, paths] : copies) {
    SCOPED_TRACE(what);
    this->platform.otherApplicationCopiesUrls(urls);
    std::vector<std::string> read;
    for (const Url& url : pasteboard.readUrls()) {
      EXPECT_TRUE(url.isFileUrl()) << url.absoluteString();
      read.push_back(url.path());
    }
    EXPECT_EQ(read, paths);
  }
  // A copied web link is text.
  this->platform.otherApplicationCopiesUrls({"https://example.com/page"});
  EXPECT_EQ(pasteboard.stringForType(kPasteboardTypeString), "https://example.com/page");
}

TYPED_TEST(PasteboardContract, BytesThatAreNotUtf8AreNoText) {
  Pasteboard& pasteboard = this->pasteboard();
  const struct {
    const char* what;
    Bytes bytes;
  } invalid[] = {
      {"a cut-off sequence", {'a', 'b', 0xe2, 0x82}},
      {"a lone continuation byte", {'a', 0x80, 'b'}},
      {"an encoded surrogate", {0xed, 0xa0, 0x80}},
      {"an overlong slash", {0xc0, 0xaf}},
      {"Latin-1", {'G', 'r', 0xfc, 0xdf, 'e'}},
  };
  for (const auto& [what, bytes] : invalid) {
    SCOPED_TRACE(what);
    for (const std::string_view type : {kPasteboardTypeString, kPasteboardTypeHTML}) {
      this->platform.otherApplicationCopies({{std::string(type), bytes}});
      EXPECT_EQ(pasteboard.stringForType(type), std::nullopt) << type;
      EXPECT_EQ(pasteboard.dataForType(type), bytes) << type;  // still the type's bytes
      // Written back as data (a restored snapshot), they stay as they are.
      pasteboard.clearContents();
      ASSERT_TRUE(pasteboard.setData(bytes, type));
      EXPECT_EQ(pasteboard.dataForType(type), bytes) << type;
    }
  }
}

TYPED_TEST(PasteboardContract, AWriteAfterAnotherApplicationsCopyIsANewChangeOfItsOwn) {
  Pasteboard& pasteboard = this->pasteboard();
  const struct {
    const char* what;
    std::function<bool()> write;
    std::function<bool()> wasWritten;
  } writes[] = {
      {"a string", [&] { return pasteboard.setString("mine", kPasteboardTypeString); },
       [&] { return pasteboard.stringForType(kPasteboardTypeString) == "mine"; }},
      {"data", [&] { return pasteboard.setData(kBinary, kCustom); },
       [&] { return pasteboard.dataForType(kCustom) == kBinary; }},
      {"an image", [&] { return pasteboard.writeImage(smallImage()); },
       [&] { return pasteboard.dataForType(kPasteboardTypeTIFF).has_value(); }},
      {"file URLs", [&] { return pasteboard.writeFileUrls({Url::fileUrlWithPath("/tmp/mine")}); },
       [&] { return pasteboard.readUrls() == std::vector{Url::fileUrlWithPath("/tmp/mine")}; }},
  };
  for (const auto& [what, write, wasWritten] : writes) {
    SCOPED_TRACE(what);
    // This application's earlier change, then someone else's.
    pasteboard.clearContents();
    pasteboard.setString("earlier", kPasteboardTypeString);
    this->platform.otherApplicationCopies({{std::string(kPasteboardTypeHTML), bytesOf("<p>theirs</p>")},
                                           {std::string(kPasteboardTypeString), bytesOf("theirs")}});
    const auto theirs = pasteboard.changeCount();
    ASSERT_TRUE(write());
    const auto mine = pasteboard.changeCount();
    EXPECT_NE(mine, theirs);
    EXPECT_TRUE(wasWritten());
    EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeHTML), std::nullopt);
    const auto text = pasteboard.stringForType(kPasteboardTypeString);
    EXPECT_NE(text, "theirs");
    EXPECT_NE(text, "earlier");
    // The next write adds to the same change.
    ASSERT_TRUE(pasteboard.setData(bytesOf("<p>mine</p>"), kPasteboardTypeHTML));
    EXPECT_EQ(pasteboard.changeCount(), mine);
    EXPECT_TRUE(wasWritten());
  }
}

TYPED_TEST(PasteboardContract, ChangesAreReportedForOthersCopiesAndItsOwnWrites) {
  Pasteboard& pasteboard = this->pasteboard();
  int reports = 0;
  pasteboard.setChangeObserver([&] { ++reports; });
  this->platform.otherApplicationCopies({{std::string(kPasteboardTypeString), bytesOf("theirs")}});
  EXPECT_GE(reports, 1);
  reports = 0;
  pasteboard.clearContents();
  pasteboard.setString("mine", kPasteboardTypeString);
  EXPECT_GE(reports, 1);
  reports = 0;
  pasteboard.stringForType(kPasteboardTypeString);
  pasteboard.changeCount();
  EXPECT_EQ(reports, 0);  // reading is no change
  pasteboard.setChangeObserver(nullptr);
  this->platform.otherApplicationCopies({{std::string(kPasteboardTypeString), bytesOf("unheard")}});
  EXPECT_EQ(reports, 0);
}

// What restoring writes comes back as it was kept: an image as its kept TIFF,
// files in their order.
TYPED_TEST(PasteboardContract, AnImageAndFileUrlsReadBackAsWritten) {
  Pasteboard& pasteboard = this->pasteboard();
  qt::QtImageCodec codec;
  const Bytes tiff = test::stripes(12, 4, "TIFF");
  pasteboard.clearContents();
  ASSERT_TRUE(pasteboard.writeImage(codec.decode(tiff).value()));
  EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeTIFF), tiff);
  EXPECT_EQ(pasteboard.availableTypeFromArray({std::string(kPasteboardTypeTIFF)}), std::string(kPasteboardTypeTIFF));

  const std::vector<Url> urls = {Url::fileUrlWithPath("/tmp/b"), Url::fileUrlWithPath("/tmp/a c/dé.txt")};
  pasteboard.clearContents();
  ASSERT_TRUE(pasteboard.writeFileUrls(urls));
  EXPECT_EQ(pasteboard.readUrls(), urls);
  EXPECT_EQ(pasteboard.dataForType(kPasteboardTypeTIFF), std::nullopt);
}

}  // namespace
}  // namespace bm::contract
