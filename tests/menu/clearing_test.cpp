#include <gtest/gtest.h>

#include "model/history_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "support/history_entries.h"
#include "support/menu_rows.h"
#include "support/sim_app.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  return names;
}

TEST(ClearingTest, RemovesEveryEntryAndStoredFileAndLeavesTheRestAlone) {
  test::SimApp app;
  app.world.defaults.setString("PreviewStyle", "Show always");
  app.launch();
  auto& delegate = app.delegate();
  auto& manager = *delegate.persistenceManager;
  const auto image = test::imageEntry(), data = test::dataEntry();
  delegate.clipboardHistory = {test::textEntry("text"), image, data, test::fileEntry({"/a"}, {Bytes{1}})};
  for (const Uuid& id : delegate.referencedFileIDs()) {
    ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), manager.dataDirectory() / id.uuidString(), bytesOf("data")));
    ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), manager.thumbnailDirectory() / id.uuidString(), bytesOf("thumb")));
  }
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), manager.dataDirectory() / "stray", bytesOf("no entry names it")));
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), manager.bookmarksDirectory() / "-42", bytesOf("bookmark")));
  app.world.pasteboard.copyText("still on the pasteboard");
  app.advance(0.5);
  const auto handled = app.world.defaults.integerForKey("LastChangeCount");
  delegate.updateStatusButton("entry title");
  delegate.previewStyle = PreviewStyle::temporary;
  delegate.updateStatusButton("entry title");  // a countdown pending
  const auto timer = delegate.previewTimer;

  ASSERT_TRUE(app.platform().openMenu());
  ASSERT_TRUE(app.platform().chooseMenuItem("Clear all history"));
  EXPECT_TRUE(delegate.clipboardHistory.empty());
  EXPECT_EQ(textOf(files::readWholeFile(app.world.documentsDirectory() / "ClipboardHistory.data").value()), "[]");
  EXPECT_TRUE(namesIn(manager.dataDirectory()).empty());
  EXPECT_TRUE(namesIn(manager.thumbnailDirectory()).empty());
  EXPECT_EQ(namesIn(manager.bookmarksDirectory()), std::vector<std::string>{"-42"});
  EXPECT_EQ(app.statusItem()->simButton()->title(), "");
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[1], "Empty (disabled)");
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[4], "Empty (disabled)");
  // Untouched: the style, the pending timer, the handled change count.
  EXPECT_EQ(delegate.previewStyle, PreviewStyle::temporary);
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[8], "[x] Show for 5 seconds");
  EXPECT_EQ(delegate.previewTimer, timer);
  EXPECT_TRUE(timer->isValid());
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), handled);
  app.advance(1);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), handled);  // no change seen again
  delegate.statusItem->button()->setTitle("stale");
  app.advance(5);  // the pending countdown still ends, emptying the title again
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(app.statusItem()->simButton()->title(), "");
  EXPECT_TRUE(app.console().empty());

  app.restart();
  EXPECT_TRUE(app.delegate().clipboardHistory.empty());
}

TEST(ClearingTest, AnEmptyHistoryIsSavedAgainWithoutTrouble) {
  test::SimApp app;
  app.launch();
  app.delegate().updateStatusButton("x");
  app.delegate().clearHistory();
  EXPECT_EQ(textOf(files::readWholeFile(app.world.documentsDirectory() / "ClipboardHistory.data").value()), "[]");
  EXPECT_EQ(app.statusItem()->simButton()->title(), "");
  EXPECT_TRUE(app.console().empty());
}

// The old history file still names the stored files, so they stay with it.
TEST(ClearingTest, AFailedSaveKeepsTheFilesTheOldHistoryNames) {
  test::SimApp app;
  app.launch();
  auto& delegate = app.delegate();
  auto& manager = *delegate.persistenceManager;
  const auto image = test::imageEntry();
  delegate.clipboardHistory = {image};
  const auto dataFile = manager.dataDirectory() / std::get<ImageContent>(image.content).storedFileId.uuidString();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), dataFile, bytesOf("data")));
  fs::create_directories(app.world.documentsDirectory() / "ClipboardHistory.data");  // the save cannot replace it

  delegate.clearHistory();
  EXPECT_TRUE(delegate.clipboardHistory.empty());
  EXPECT_TRUE(fs::exists(dataFile));
  ASSERT_EQ(app.console().size(), 1u);
  EXPECT_TRUE(app.console()[0].starts_with("Failed to save clipboard history: "));
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[1], "Empty (disabled)");
  EXPECT_EQ(app.statusItem()->simButton()->title(), "");
}

// A history kept aside as unreadable may name any stored file: only the
// cleared entries' own files go.
TEST(ClearingTest, WhileAnUnreadableHistoryIsKeptAsideOnlyTheClearedEntriesFilesGo) {
  test::SimApp app;
  const auto documents = app.world.documentsDirectory();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), documents / "ClipboardHistory.data.unreadable", bytesOf("[{")));
  app.launch();
  auto& delegate = app.delegate();
  auto& manager = *delegate.persistenceManager;
  const auto image = test::imageEntry();
  delegate.clipboardHistory = {image};
  const auto ownFile = manager.dataDirectory() / std::get<ImageContent>(image.content).storedFileId.uuidString();
  const auto keptAsideFile = manager.dataDirectory() / Uuid::random().uuidString();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), ownFile, bytesOf("own")));
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), keptAsideFile, bytesOf("named by the kept-aside history")));

  delegate.clearHistory();
  EXPECT_FALSE(fs::exists(ownFile));
  EXPECT_TRUE(fs::exists(keptAsideFile));
  EXPECT_TRUE(delegate.clipboardHistory.empty());
}

}  // namespace
}  // namespace bm
