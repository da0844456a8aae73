#include <gtest/gtest.h>

#include <QImage>

#include "model/history_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "support/menu_rows.h"
#include "support/sim_app.h"
#include "support/test_images.h"

// The whole application on the simulated platform, as a user meets it: a
// copy becomes an entry, survives a restart, goes back on the pasteboard
// when chosen and comes round again as the newest copy.
namespace bm {
namespace {
namespace fs = std::filesystem;

using sim::PasteboardItem;
using Rows = std::vector<std::string>;

class RoadOfACopyTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }

  std::vector<ClipboardItem>& history() { return app.delegate().clipboardHistory; }
  std::vector<ClipboardItem> savedHistory() {
    const auto bytes = files::readWholeFile(app.world.documentsDirectory() / "ClipboardHistory.data");
    EXPECT_TRUE(bytes.ok());
    auto decoded = bytes ? decodeHistory(textOf(bytes.value())) : Result<std::vector<ClipboardItem>>(bytes.error());
    EXPECT_TRUE(decoded.ok());
    return decoded ? std::move(decoded).value() : std::vector<ClipboardItem>{};
  }
  // The entry titles of the menu as the user sees it on opening.
  Rows entryRows() {
    EXPECT_TRUE(app.platform().openMenu());
    Rows rows = test::rows(*app.platform().shownMenu());
    app.platform().closeMenu();
    rows.resize(std::find(rows.begin(), rows.end(), "# Menu bar preview") - 1 - rows.begin());
    return rows;
  }
  std::string statusTitle() { return app.statusItem()->simButton()->title(); }
  std::int64_t handledChange() { return app.world.defaults.integerForKey("LastChangeCount"); }

  test::SimApp app;
  sim::SimPasteboard& pasteboard = app.world.pasteboard;
};

TEST_F(RoadOfACopyTest, ACopyIsRecordedShownRestoredAndRecordedAgain) {
  // 1. Another application copies; the next poll notices and records the change.
  pasteboard.copyText("first note");
  app.advance(0.5);
  pasteboard.copyText("  Meeting at\n10:00 in room 4  ");
  app.advance(0.5);
  EXPECT_EQ(handledChange(), pasteboard.changeCount());

  // 2 and 3. Captured as plain text with a clean title, on top, saved.
  ASSERT_EQ(history().size(), 2u);
  EXPECT_EQ(std::get<TextContent>(history()[0].content).text(), "  Meeting at\n10:00 in room 4  ");
  EXPECT_EQ(history()[0].displayText, "Meeting at 10:00 in ...");
  ASSERT_EQ(savedHistory().size(), 2u);
  EXPECT_EQ(savedHistory()[0].id, history()[0].id);

  // 4. Previewed beside the icon for five seconds.
  EXPECT_EQ(statusTitle(), "Meeting at 10:00 in ...");
  app.advance(5);
  EXPECT_EQ(statusTitle(), "");

  // A restart in the middle: everything comes back, the copy already handled is not taken again.
  const Uuid firstId = history()[1].id;
  app.restart();
  ASSERT_EQ(history().size(), 2u);
  EXPECT_EQ(history()[1].id, firstId);
  EXPECT_EQ(statusTitle(), "");
  app.advance(2);
  EXPECT_EQ(history().size(), 2u);

  // 5. The menu shows the newest under Current, the older under History.
  EXPECT_EQ(entryRows(), (Rows{"# Current", "Meeting at 10:00 in ...", "---", "# History", "first note"}));

  // 6. Choosing the older entry puts it back and moves it up as it is. (Its
  // item's action is run by hand, to look in before the posted check runs.)
  const MenuItem& item = app.statusItem()->menu()->items()[4];
  ASSERT_EQ(item.title(), "first note");
  item.action()(MenuItem(item));
  EXPECT_EQ(pasteboard.items(), (std::vector<PasteboardItem>{{{std::string(kPasteboardTypeString), bytesOf("first note")}}}));
  EXPECT_EQ(history()[0].id, firstId);
  EXPECT_EQ(savedHistory()[0].id, firstId);
  EXPECT_EQ(statusTitle(), "first note");

  // 7. The write is a change like any other: checked as soon as restoring is
  // done, it is captured as the same text, a new entry in its place.
  app.advance(0);
  EXPECT_EQ(handledChange(), pasteboard.changeCount());
  ASSERT_EQ(history().size(), 2u);
  EXPECT_NE(history()[0].id, firstId);
  EXPECT_EQ(std::get<TextContent>(history()[0].content).text(), "first note");
  EXPECT_EQ(savedHistory()[0].id, history()[0].id);
  EXPECT_EQ(entryRows(), (Rows{"# Current", "first note", "---", "# History", "Meeting at 10:00 in ..."}));
  EXPECT_TRUE(app.console().empty());
}

// Each kind, copied before a restart and chosen after it, offers what was copied.
TEST_F(RoadOfACopyTest, EveryKindComesBackAfterARestart) {
  const auto file = app.world.home() / "report.txt";
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf("report")));
  const Bytes png = test::stripes(32, 8);
  const PasteboardItem browserCopy = {{std::string(kPasteboardTypeHTML), bytesOf("<p>frame</p>")},
                                      {std::string(kPasteboardTypeChromiumSourceURL), bytesOf("https://www.figma.com/f")},
                                      {std::string(kPasteboardTypeString), bytesOf("frame")}};
  const PasteboardItem otherData = {{"com.example.vector", Bytes{0, 1, 2, 255}}};

  pasteboard.copyText("text");
  app.advance(0.5);
  pasteboard.copyImage(png, "public.png");
  app.advance(0.5);
  pasteboard.copyFiles({file});
  app.advance(0.5);
  pasteboard.copyItems({browserCopy});
  app.advance(0.5);
  pasteboard.copyItems({otherData});
  app.advance(0.5);
  app.restart();
  EXPECT_EQ(entryRows(), (Rows{"# Current", "Data", "---", "# History", "Figma: frame", "File: report.txt", "Image",
                               "text"}));

  // Restores, then lets the next poll take the write as a copy: it merges
  // with the restored entry, so the history never grows.
  const auto choose = [&](const std::string& title) {
    ASSERT_TRUE(app.platform().openMenu());
    ASSERT_TRUE(app.platform().chooseMenuItem(title));
    app.advance(0.5);
    EXPECT_EQ(history().size(), 5u) << title;
    EXPECT_EQ(history()[0].displayText, title);
  };
  choose("text");
  EXPECT_EQ(pasteboard.items(), (std::vector<PasteboardItem>{{{std::string(kPasteboardTypeString), bytesOf("text")}}}));

  choose("Image");
  ASSERT_EQ(pasteboard.items().size(), 1u);
  const Bytes& tiff = pasteboard.items()[0].at(0).second;
  const QImage restored = QImage::fromData(reinterpret_cast<const uchar*>(tiff.data()), static_cast<int>(tiff.size()));
  const QImage copied = QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()));
  EXPECT_EQ(restored.convertToFormat(QImage::Format_ARGB32), copied.convertToFormat(QImage::Format_ARGB32));

  choose("File: report.txt");
  EXPECT_EQ(pasteboard.readUrls(), std::vector<Url>{Url::fileUrlWithPath(file.string())});

  choose("Figma: frame");
  EXPECT_EQ(pasteboard.items(), std::vector<PasteboardItem>{browserCopy});

  choose("Data");
  EXPECT_EQ(pasteboard.items(), std::vector<PasteboardItem>{otherData});
  EXPECT_TRUE(app.console().empty());
}

}  // namespace
}  // namespace bm
