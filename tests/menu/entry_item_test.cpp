#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "shared/qt_image_codec.h"
#include "support/history_entries.h"
#include "support/sim_app.h"
#include "support/test_images.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

class EntryItemTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }
  fs::path thumbnailOf(const ClipboardItem& entry) {
    return app.delegate().persistenceManager->thumbnailDirectory() /
           std::get<ImageContent>(entry.content).storedFileId.uuidString();
  }

  test::SimApp app;
};

TEST_F(EntryItemTest, CarriesTheWholeEntryAndItsTitle) {
  const std::vector<ClipboardItem> entries = {test::textEntry("some text"), test::fileEntry({"/a"}, {Bytes{1}}),
                                              test::dataEntry(), test::imageEntry()};
  for (const auto& entry : entries) {
    const MenuItem item = app.delegate().makeMenuItem(entry);
    EXPECT_EQ(item.title(), entry.displayText);
    EXPECT_TRUE(item.image().isNull());
    EXPECT_TRUE(item.hasAction());
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(item.keyEquivalent(), "");
    const auto* carried = std::any_cast<ClipboardItem>(&item.representedObject());
    ASSERT_NE(carried, nullptr);
    test::expectSameEntries({*carried}, {entry});
  }
}

TEST_F(EntryItemTest, AnImageWithAUsableThumbnailShowsItStretchedToSixteenPoints) {
  const auto entry = test::imageEntry();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), thumbnailOf(entry), test::stripes(64, 8)));
  const MenuItem item = app.delegate().makeMenuItem(entry);
  EXPECT_EQ(item.title(), "Image");
  ASSERT_FALSE(item.image().isNull());
  EXPECT_EQ(item.image().size(), (Size{16, 16}));
  // Stretched, not cropped nor fitted: every stripe is there, top to bottom.
  const QImage pixels = qt::toQImage(item.image());
  const QColor expected[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
  for (int stripe = 0; stripe < 4; ++stripe) {
    for (const int y : {0, 8, 15}) {
      const QColor seen(pixels.pixel(stripe * 4 + 2, y));
      EXPECT_LT(std::abs(seen.red() - expected[stripe].red()) + std::abs(seen.green() - expected[stripe].green()) +
                    std::abs(seen.blue() - expected[stripe].blue()),
                60)
          << "stripe " << stripe << " row " << y;
    }
  }
}

TEST_F(EntryItemTest, AnyTroubleWithTheThumbnailLeavesAPlainUsableItem) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> prepare;
  };
  const Case cases[] = {
      {"missing", [](const fs::path&) {}},
      {"corrupt", [](const fs::path& file) { ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf("not a picture"))); }},
      {"empty", [](const fs::path& file) { ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, {})); }},
      {"a directory", [](const fs::path& file) { fs::create_directory(file); }},
  };
  for (const auto& c : cases) {
    const auto entry = test::imageEntry();
    c.prepare(thumbnailOf(entry));
    const MenuItem item = app.delegate().makeMenuItem(entry);
    EXPECT_EQ(item.title(), entry.displayText) << c.name;
    EXPECT_TRUE(item.image().isNull()) << c.name;
    EXPECT_TRUE(item.isEnabled()) << c.name;
  }
  EXPECT_TRUE(app.console().empty());
}

TEST_F(EntryItemTest, OnlyAnImageEntryWithImageContentGetsAPicture) {
  auto image = test::imageEntry();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), thumbnailOf(image), test::stripes(8, 8)));
  ClipboardItem typedOther = image;
  typedOther.type = ItemType::data;  // content is an image, kind says otherwise
  ClipboardItem otherContent = test::textEntry("looks like an image");
  otherContent.type = ItemType::image;
  EXPECT_EQ(app.delegate().makeMenuItem(typedOther).title(), typedOther.displayText);
  EXPECT_TRUE(app.delegate().makeMenuItem(typedOther).image().isNull());
  EXPECT_EQ(app.delegate().makeMenuItem(otherContent).title(), "looks like an image");
  EXPECT_EQ(app.delegate().makeMenuItem(image).title(), "Image");
}

}  // namespace
}  // namespace bm
