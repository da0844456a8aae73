#include <gtest/gtest.h>

#include <functional>

#include "contract/implementation_names.h"
#include "contract/pasteboard_adaptors.h"

// What the core relies on from every pasteboard, run against each platform.
namespace bm::contract {
namespace {

constexpr std::string_view kCustom = "application/x-brindlemux-test";
const Bytes kBinary = {0x00, 0x01, 0xff, 0x00, 0x7f};

template <typename Adaptor>
class PasteboardContract : public ::testing::Test {
 protected:
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

using Implementations = ::testing::Types<SimPasteboardAdaptor, QtPasteboardAdaptor>;
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
  std::vector<std::int64_t> seen = {pasteboard.changeCount()};
  for (const auto& [what, replace] : steps) {
    SCOPED_TRACE(what);
    replace();
    const auto count = pasteboard.changeCount();
    EXPECT_EQ(std::find(seen.begin(), seen.end(), count), seen.end()) << "count " << count << " seen before";
    seen.push_back(count);
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

}  // namespace
}  // namespace bm::contract
