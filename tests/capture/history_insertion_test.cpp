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

class HistoryInsertionTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }

  AppDelegate& delegate() { return app.delegate(); }
  std::vector<ClipboardItem>& history() { return delegate().clipboardHistory; }
  fs::path dataFile(const Uuid& id) { return delegate().persistenceManager->dataDirectory() / id.uuidString(); }
  fs::path thumbnail(const Uuid& id) { return delegate().persistenceManager->thumbnailDirectory() / id.uuidString(); }
  // A stored-file id whose data file and thumbnail hold these bytes.
  Uuid storedFile(const std::string& bytes) {
    const Uuid id = Uuid::random();
    EXPECT_TRUE(files::writeWholeFile(posixFileSystem(), dataFile(id), bytesOf(bytes)));
    EXPECT_TRUE(files::writeWholeFile(posixFileSystem(), thumbnail(id), bytesOf("thumbnail")));
    return id;
  }
  std::vector<ClipboardItem> savedHistory() {
    const auto bytes = files::readWholeFile(app.world.documentsDirectory() / "ClipboardHistory.data");
    if (!bytes) return {};
    auto decoded = decodeHistory(textOf(bytes.value()));
    EXPECT_TRUE(decoded.ok());
    return decoded.ok() ? std::move(decoded).value() : std::vector<ClipboardItem>{};
  }
  std::vector<std::string> menuTitles() {
    app.platform().openMenu();
    auto rows = test::rows(*app.platform().shownMenu());
    app.platform().closeMenu();
    return rows;
  }

  test::SimApp app;
};

TEST_F(HistoryInsertionTest, ANewEntryGoesOnTopSavedAndShown) {
  app.world.clock = Date{800001234.5};
  app.advance(0);
  delegate().addToHistory(TextContent{"first"}, ItemType::text, "first");
  delegate().addToHistory(TextContent{"second"}, ItemType::text, "Second title");

  ASSERT_EQ(history().size(), 2u);
  EXPECT_EQ(history()[0].displayText, "Second title");
  EXPECT_EQ(std::get<TextContent>(history()[0].content).text(), "second");
  EXPECT_EQ(history()[0].type, ItemType::text);
  EXPECT_NE(history()[0].id, history()[1].id);
  EXPECT_EQ(history()[0].timestamp, app.platform().mainLoop().now());
  test::expectSameEntries(savedHistory(), history());
  const auto rows = menuTitles();
  EXPECT_NE(std::find(rows.begin(), rows.end(), "Second title"), rows.end());
}

TEST_F(HistoryInsertionTest, ADuplicateTextMovesUpAsTheNewCopy) {
  // Newest first: entry 0 ... entry 7, with "entry 5" copied again below as well.
  history() = test::textHistory(8);
  history().push_back(test::textEntry("entry 5"));
  const struct {
    const char* copied;
    int removedIndex;  // -1: nothing matches
  } cases[] = {
      {"entry 0", 0},
      {"entry 5", 5},       // the nearer of two matches
      {"entry 50", -1},
      {"Entry 5", -1},      // case matters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.copied);
    auto before = history();
    delegate().addToHistory(TextContent{c.copied}, ItemType::text, "new title");
    if (c.removedIndex >= 0) before.erase(before.begin() + c.removedIndex);
    ASSERT_EQ(history().size(), before.size() + 1);
    EXPECT_EQ(history()[0].displayText, "new title");
    EXPECT_TRUE(std::none_of(before.begin(), before.end(), [&](const auto& e) { return e.id == history()[0].id; }));
    test::expectSameEntries(std::vector<ClipboardItem>(history().begin() + 1, history().end()), before);
    test::expectSameEntries(savedHistory(), history());
  }
}

TEST_F(HistoryInsertionTest, TextsMatchUnderCanonicalEquivalence) {
  const struct {
    const char* existing;
    const char* copied;
    bool match;
  } cases[] = {
      {"caf\u00e9", "cafe\u0301", true},                  // precomposed and decomposed
      {"\u212a", "K", true},                              // Kelvin sign is the letter K
      {"a\u0323\u0307", "a\u0307\u0323", true},           // combining marks reordered
      {"caf\u00e9", "cafe", false},
      {"\ufb01", "fi", false},                            // a ligature is only compatible
      {"", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.existing) + " / " + c.copied);
    const auto existing = test::textEntry(c.existing);
    EXPECT_EQ(delegate().contentsMatch(existing, ItemType::text, TextContent{c.copied}), c.match);
  }
}

TEST_F(HistoryInsertionTest, OnlyEntriesOfTheSameKindAndCaseMatch) {
  const Uuid id = storedFile("same bytes");
  auto mislabelled = test::textEntry("x");
  mislabelled.type = ItemType::data;
  EXPECT_FALSE(delegate().contentsMatch(test::textEntry("x"), ItemType::data, TextContent{"x"}));
  EXPECT_FALSE(delegate().contentsMatch(test::dataEntry(id), ItemType::image, ImageContent{id}));
  EXPECT_FALSE(delegate().contentsMatch(test::imageEntry(id), ItemType::data, DataContent{id}));
  EXPECT_FALSE(delegate().contentsMatch(mislabelled, ItemType::data, DataContent{id}));
  EXPECT_TRUE(delegate().contentsMatch(test::dataEntry(id), ItemType::data, DataContent{id}));
}

TEST_F(HistoryInsertionTest, FileListsMatchPathByPathThenBookmarkByBookmark) {
  const auto existing = test::fileEntry({"/home/u/a.txt", "/home/u/caf\u00e9"}, {bytesOf("A"), bytesOf("B")});
  const struct {
    const char* name;
    FileContent copied;
    bool match;
  } cases[] = {
      {"same", {{"/home/u/a.txt", "/home/u/caf\u00e9"}, {bytesOf("A"), bytesOf("B")}}, true},
      {"decomposed name", {{"/home/u/a.txt", "/home/u/cafe\u0301"}, {bytesOf("A"), bytesOf("B")}}, true},
      {"other bookmark bytes", {{"/home/u/a.txt", "/home/u/caf\u00e9"}, {bytesOf("A"), bytesOf("b")}}, false},
      {"other order", {{"/home/u/caf\u00e9", "/home/u/a.txt"}, {bytesOf("B"), bytesOf("A")}}, false},
      {"fewer files", {{"/home/u/a.txt"}, {bytesOf("A")}}, false},
      {"one bookmark fewer", {{"/home/u/a.txt", "/home/u/caf\u00e9"}, {bytesOf("A")}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(delegate().contentsMatch(existing, ItemType::file, c.copied), c.match);
  }
}

TEST_F(HistoryInsertionTest, ImagesAndDataMatchByTheirDataFiles) {
  using File = std::optional<std::string>;  // nothing: no data file
  const struct {
    const char* name;
    File existing, copied;
    bool match;
  } cases[] = {
      {"equal bytes", "pixels", "pixels", true},
      {"same size, other bytes", "pixels", "pixelz", false},
      {"a prefix", "pixels", "pixel", false},
      {"both empty", "", "", true},
      {"both missing", std::nullopt, std::nullopt, true},
      {"earlier missing", std::nullopt, "pixels", false},
      {"new missing", "pixels", std::nullopt, false},
      {"empty and missing", "", std::nullopt, false},
  };
  const auto stored = [this](const File& bytes) { return bytes ? storedFile(*bytes) : Uuid::random(); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Uuid existing = stored(c.existing), copied = stored(c.copied);
    EXPECT_EQ(delegate().contentsMatch(test::imageEntry(existing), ItemType::image, ImageContent{copied}), c.match);
    EXPECT_EQ(delegate().contentsMatch(test::dataEntry(existing), ItemType::data, DataContent{copied}), c.match);
  }
  EXPECT_TRUE(app.console().empty());
}

TEST_F(HistoryInsertionTest, AnUnreadableDataFileCountsAsNoBytesAndSaysWhy) {
  const Uuid unreadable = Uuid::random();
  fs::create_directory(dataFile(unreadable));
  const std::string line = "Failed to load data file: Is a directory: " + dataFile(unreadable).string();

  // Against a missing file: both give nothing, so they match.
  EXPECT_TRUE(delegate().contentsMatch(test::dataEntry(unreadable), ItemType::data, DataContent{Uuid::random()}));
  EXPECT_EQ(app.console(), (std::vector<std::string>{line}));
  // Against real bytes: no match, one more line.
  EXPECT_FALSE(delegate().contentsMatch(test::dataEntry(unreadable), ItemType::data, DataContent{storedFile("x")}));
  EXPECT_EQ(app.console(), (std::vector<std::string>{line, line}));
  // Both unreadable: they match, and the existing file is reported first.
  const Uuid alsoUnreadable = Uuid::random();
  fs::create_directory(dataFile(alsoUnreadable));
  EXPECT_TRUE(delegate().contentsMatch(test::dataEntry(unreadable), ItemType::data, DataContent{alsoUnreadable}));
  EXPECT_EQ(app.console(), (std::vector<std::string>{line, line, line,
                                                     "Failed to load data file: Is a directory: " +
                                                         dataFile(alsoUnreadable).string()}));
}

TEST_F(HistoryInsertionTest, TheNewDataFileIsReadOncePerInsertion) {
  const Uuid unreadable = Uuid::random();
  fs::create_directory(dataFile(unreadable));
  for (int i = 0; i < 3; ++i) history().push_back(test::imageEntry(storedFile("older " + std::to_string(i))));
  delegate().addToHistory(ImageContent{unreadable}, ItemType::image, "Image");
  EXPECT_EQ(app.console(),
            (std::vector<std::string>{"Failed to load data file: Is a directory: " + dataFile(unreadable).string()}));
  EXPECT_EQ(history().size(), 4u);
}

TEST_F(HistoryInsertionTest, AReplacedImageTakesItsFilesAndLeavesTheNewOnes) {
  const Uuid older = storedFile("same pixels"), other = storedFile("other pixels");
  history() = {test::textEntry("text"), test::imageEntry(other), test::imageEntry(older)};
  const Uuid newer = storedFile("same pixels");
  delegate().addToHistory(ImageContent{newer}, ItemType::image, "Image");

  ASSERT_EQ(history().size(), 3u);
  EXPECT_EQ(std::get<ImageContent>(history()[0].content).storedFileId, newer);
  EXPECT_FALSE(fs::exists(dataFile(older)));
  EXPECT_FALSE(fs::exists(thumbnail(older)));
  for (const Uuid& kept : {newer, other}) {
    EXPECT_TRUE(fs::exists(dataFile(kept)));
    EXPECT_TRUE(fs::exists(thumbnail(kept)));
  }
  EXPECT_EQ(delegate().referencedFileIDs(), (std::vector<Uuid>{newer, other}));
  test::expectSameEntries(savedHistory(), history());
}

// The saved history still names the replaced image, so its files stay.
TEST_F(HistoryInsertionTest, AFailedSaveKeepsTheReplacedEntrysFiles) {
  const Uuid older = storedFile("same pixels");
  history() = {test::imageEntry(older)};
  fs::create_directories(app.world.documentsDirectory() / "ClipboardHistory.data");  // the save cannot replace it
  delegate().addToHistory(ImageContent{storedFile("same pixels")}, ItemType::image, "Image");

  EXPECT_EQ(history().size(), 1u);
  EXPECT_TRUE(fs::exists(dataFile(older)));
  EXPECT_TRUE(fs::exists(thumbnail(older)));
  ASSERT_EQ(app.console().size(), 1u);
  EXPECT_TRUE(app.console()[0].starts_with("Failed to save clipboard history: "));
}

TEST_F(HistoryInsertionTest, ReplacingTextOrFilesRemovesNothingOnDisk) {
  const Uuid stray = storedFile("not named by the history");
  history() = {test::textEntry("t"), test::fileEntry({"/a"}, {bytesOf("A")})};
  delegate().addToHistory(FileContent{{"/a"}, {bytesOf("A")}}, ItemType::file, "File: a");
  delegate().addToHistory(TextContent{"t"}, ItemType::text, "t");
  EXPECT_EQ(history().size(), 2u);
  EXPECT_TRUE(fs::exists(dataFile(stray)));
}

TEST_F(HistoryInsertionTest, MemoryKeepsEveryEntryTheFileTheFiftyNewest) {
  history() = test::textHistory(50);
  delegate().addToHistory(TextContent{"fifty-first"}, ItemType::text, "fifty-first");
  EXPECT_EQ(history().size(), 51u);
  const auto saved = savedHistory();
  ASSERT_EQ(saved.size(), 50u);
  EXPECT_EQ(saved.front().id, history().front().id);
  EXPECT_EQ(saved.back().id, history()[49].id);
}

}  // namespace
}  // namespace bm
