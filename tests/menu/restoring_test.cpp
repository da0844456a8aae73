#include <gtest/gtest.h>

#include <QImage>

#include "model/pasteboard_snapshot.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "shared/qt_image_codec.h"
#include "storage/path_hash.h"
#include "support/history_entries.h"
#include "support/menu_rows.h"
#include "support/sim_app.h"
#include "support/test_images.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

using sim::PasteboardItem;

class RestoringTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }

  AppDelegate& delegate() { return app.delegate(); }
  std::vector<ClipboardItem>& history() { return delegate().clipboardHistory; }
  PersistenceManager& storage() { return *delegate().persistenceManager; }
  const std::vector<PasteboardItem>& onPasteboard() { return app.world.pasteboard.items(); }
  fs::path historyFile() { return app.world.documentsDirectory() / "ClipboardHistory.data"; }
  std::vector<ClipboardItem> savedHistory() { return app.delegate().persistenceManager->loadHistory(); }
  std::string statusTitle() { return app.statusItem()->simButton()->title(); }

  // The history as given, saved, with the menu showing it.
  void startWith(std::vector<ClipboardItem> entries) {
    history() = std::move(entries);
    storage().saveHistory(history());
    delegate().rebuildMenu();
  }
  // Chooses the entry as the menu would, through the item that carries it.
  void choose(const ClipboardItem& entry) { delegate().menuItemClicked(delegate().makeMenuItem(entry)); }
  void writeDataFile(const Uuid& id, const Bytes& bytes) {
    ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), storage().dataDirectory() / id.uuidString(), bytes));
  }
  fs::path makeFile(const std::string& name) {
    const auto path = app.world.home() / name;
    EXPECT_TRUE(files::writeWholeFile(posixFileSystem(), path, bytesOf(name)));
    return path;
  }
  // A file entry as capture makes it: a bookmark per file and its spare file.
  ClipboardItem fileEntryFor(const std::vector<fs::path>& paths) {
    std::vector<std::string> texts;
    std::vector<Bytes> bookmarks;
    for (const auto& path : paths) {
      texts.push_back(path.string());
      bookmarks.push_back(app.world.bookmarks.createBookmark(Url::fileUrlWithPath(path.string())).value());
      EXPECT_TRUE(files::writeWholeFile(posixFileSystem(), bookmarkFileOf(path), bookmarks.back()));
    }
    return test::fileEntry(texts, bookmarks);
  }
  fs::path bookmarkFileOf(const fs::path& path) { return storage().bookmarksDirectory() / bookmarkFileName(path.string()); }

  test::SimApp app;
};

PasteboardItem fileUrlItem(const fs::path& path) {
  return {{std::string(kPasteboardTypeFileURL), bytesOf(Url::fileUrlWithPath(path.string()).absoluteString())}};
}

PasteboardItem textItem(const std::string& text) { return {{std::string(kPasteboardTypeString), bytesOf(text)}}; }

TEST_F(RestoringTest, AnOlderTextGoesBackAndItsEntryMovesToTheTopUnchanged) {
  const auto newest = test::textEntry("newest"), older = test::textEntry("older"), oldest = test::textEntry("oldest");
  startWith({newest, older, oldest});
  delegate().updateStatusButton("newest");  // a temporary preview counting down
  const auto countdown = delegate().previewTimer;
  ASSERT_TRUE(countdown && countdown->isValid());

  choose(older);
  EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{textItem("older")});
  test::expectSameEntries(history(), {older, newest, oldest});
  test::expectSameEntries(savedHistory(), {older, newest, oldest});
  EXPECT_EQ(test::rows(*app.statusItem()->menu())[1], "older");
  EXPECT_FALSE(countdown->isValid());
  EXPECT_EQ(statusTitle(), "older");
  EXPECT_TRUE(app.console().empty());

  // The write is a change like any other, checked once restoring is done:
  // the same text, a new entry.
  app.advance(0);
  ASSERT_EQ(history().size(), 3u);
  EXPECT_NE(history()[0].id, older.id);
  EXPECT_EQ(std::get<TextContent>(history()[0].content).text(), "older");
  EXPECT_EQ(savedHistory()[0].id, history()[0].id);
}

TEST_F(RestoringTest, TheNewestEntryIsStillSavedShownAndPreviewed) {
  const auto newest = test::textEntry("newest"), older = test::textEntry("older");
  startWith({newest, older});
  ASSERT_TRUE(fs::remove(historyFile()));
  delegate().updateStatusButton("something else");
  const auto countdown = delegate().previewTimer;

  choose(newest);
  test::expectSameEntries(history(), {newest, older});
  test::expectSameEntries(savedHistory(), {newest, older});
  EXPECT_FALSE(countdown->isValid());
  EXPECT_EQ(statusTitle(), "newest");
}

// The restored title gets a countdown of its own in the temporary style, and
// a pending one is cancelled in any style.
TEST_F(RestoringTest, APendingCountdownIsCancelledAndTheRestoredTitleHasItsOwn) {
  const auto newest = test::textEntry("newest"), older = test::textEntry("older");
  startWith({newest, older});
  delegate().updateStatusButton("newest");
  const auto countdown = delegate().previewTimer;
  delegate().previewStyle = PreviewStyle::always;
  choose(older);
  EXPECT_FALSE(countdown->isValid());
  EXPECT_EQ(delegate().previewTimer, nullptr);
  EXPECT_EQ(statusTitle(), "older");

  delegate().previewStyle = PreviewStyle::temporary;
  choose(newest);
  EXPECT_EQ(statusTitle(), "newest");
  ASSERT_NE(delegate().previewTimer, nullptr);
  EXPECT_TRUE(delegate().previewTimer->isValid());
  // The check the write posted captures the restored text and starts the countdown afresh.
  app.advance(4.9);
  EXPECT_EQ(statusTitle(), "newest");
  app.advance(0.2);
  EXPECT_EQ(statusTitle(), "");
}

TEST_F(RestoringTest, ASenderWithoutAnEntryChangesNothingAtAll) {
  const auto entry = test::textEntry("kept");
  startWith({entry});
  app.world.pasteboard.copyText("on the pasteboard");
  const auto count = app.world.pasteboard.changeCount();

  MenuItem noEntry("no entry", nullptr, "");
  MenuItem otherObject("other", nullptr, "");
  otherObject.setRepresentedObject(std::string("not an entry"));
  for (const MenuItem& sender : {noEntry, otherObject}) {
    delegate().menuItemClicked(sender);
    EXPECT_EQ(app.world.pasteboard.changeCount(), count);
    EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{textItem("on the pasteboard")});
    test::expectSameEntries(history(), {entry});
  }
}

TEST_F(RestoringTest, AnEntryGoneFromTheHistoryIsWrittenButMovesNothing) {
  const auto gone = test::textEntry("gone"), kept = test::textEntry("kept");
  startWith({kept});
  const auto saved = files::readWholeFile(historyFile()).value();
  delegate().updateStatusButton("kept");
  const auto countdown = delegate().previewTimer;

  choose(gone);
  EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{textItem("gone")});
  test::expectSameEntries(history(), {kept});
  EXPECT_EQ(files::readWholeFile(historyFile()).value(), saved);
  EXPECT_TRUE(countdown->isValid());
  EXPECT_EQ(statusTitle(), "kept");
}

TEST_F(RestoringTest, AnImageGoesBackAsAnImageOfTheSamePixels) {
  const auto image = test::imageEntry(), text = test::textEntry("text");
  const Bytes tiff = test::stripes(40, 10, "TIFF");
  writeDataFile(std::get<ImageContent>(image.content).storedFileId, tiff);
  startWith({text, image});

  choose(image);
  ASSERT_EQ(onPasteboard().size(), 1u);
  ASSERT_EQ(onPasteboard()[0].size(), 1u);
  EXPECT_EQ(onPasteboard()[0][0].first, kPasteboardTypeTIFF);
  const QImage written = QImage::fromData(reinterpret_cast<const uchar*>(onPasteboard()[0][0].second.data()),
                                          static_cast<int>(onPasteboard()[0][0].second.size()));
  const QImage original = QImage::fromData(reinterpret_cast<const uchar*>(tiff.data()), static_cast<int>(tiff.size()));
  EXPECT_EQ(written.convertToFormat(QImage::Format_ARGB32), original.convertToFormat(QImage::Format_ARGB32));
  test::expectSameEntries(history(), {image, text});
}

// Whatever keeps the image from being written, the pasteboard is left empty
// and the entry still moves up.
TEST_F(RestoringTest, AnImageThatCannotBeReadLeavesThePasteboardEmpty) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& dataFile)> spoil;
    bool printsLoadFailure;
  };
  const Case cases[] = {
      {"missing data file", [](const fs::path&) {}, false},
      {"unreadable data file", [](const fs::path& file) { fs::create_directories(file); }, true},
      {"bytes that are no image", [](const fs::path& file) { ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf("nope"))); },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto image = test::imageEntry(), text = test::textEntry("text");
    const auto dataFile = storage().dataDirectory() / std::get<ImageContent>(image.content).storedFileId.uuidString();
    c.spoil(dataFile);
    startWith({text, image});
    const size_t linesBefore = app.console().size();

    choose(image);
    EXPECT_TRUE(onPasteboard().empty());
    test::expectSameEntries(history(), {image, text});
    test::expectSameEntries(savedHistory(), {image, text});
    const std::vector<std::string> printed(app.console().begin() + static_cast<std::ptrdiff_t>(linesBefore),
                                           app.console().end());
    if (c.printsLoadFailure) {
      EXPECT_EQ(printed, std::vector<std::string>{"Failed to load data file: Is a directory: " + dataFile.string()});
    } else {
      EXPECT_TRUE(printed.empty());
    }
  }
}

TEST_F(RestoringTest, FilesGoBackWhereTheirBookmarksFindThemAndFailingOnesAreLeftOut) {
  const auto first = makeFile("first.txt"), second = makeFile("second.txt"), third = makeFile("third.txt");
  const auto entry = fileEntryFor({first, second, third});
  // The second has moved as well: its spare is named after where it was copied from.
  const auto secondNow = makeFile("second, moved.txt");
  app.world.bookmarks.movedTo[second.string()] = secondNow.string();
  app.world.bookmarks.staleFor.insert(secondNow.string());
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), bookmarkFileOf(secondNow), bytesOf("another file's spare")));
  startWith({test::textEntry("text"), entry});

  choose(entry);
  EXPECT_EQ(onPasteboard(), (std::vector<PasteboardItem>{fileUrlItem(first), fileUrlItem(third)}));
  EXPECT_FALSE(fs::exists(bookmarkFileOf(second)));  // stale: its spare goes
  EXPECT_TRUE(fs::exists(bookmarkFileOf(secondNow)));
  EXPECT_TRUE(fs::exists(bookmarkFileOf(first)));
  EXPECT_TRUE(fs::exists(bookmarkFileOf(third)));
  EXPECT_EQ(app.world.bookmarks.starts, 2);  // never for the stale one
  EXPECT_EQ(app.world.bookmarks.stops, 2);
  test::expectSameEntries({history()[0]}, {entry});  // the stale bookmark stays in the entry
}

TEST_F(RestoringTest, AFileIsWrittenAtTheLocationItsBookmarkResolvesTo) {
  const auto original = makeFile("report.txt"), moved = makeFile("moved-report.txt");
  const auto entry = fileEntryFor({original});
  app.world.bookmarks.movedTo[original.string()] = moved.string();
  startWith({entry});

  choose(entry);
  EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{fileUrlItem(moved)});
}

TEST_F(RestoringTest, AFileEditedSinceItWasCopiedIsStillRestored) {
  const auto path = makeFile("notes.txt");
  const auto entry = fileEntryFor({path});
  // Saved as editors do: a new file renamed over the old one.
  const auto temporary = makeFile("notes.txt~");
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), temporary, bytesOf("edited")));
  fs::rename(temporary, path);
  startWith({entry});

  choose(entry);
  EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{fileUrlItem(path)});
  EXPECT_TRUE(fs::exists(bookmarkFileOf(path)));
}

TEST_F(RestoringTest, WhenNoFileCanBeWrittenTheFirstNameGoesBackAsText) {
  const auto deleted = makeFile("deleted.txt"), refused = makeFile("refused.txt");
  const auto entry = fileEntryFor({deleted, refused});
  fs::remove(deleted);
  app.world.bookmarks.refuseAccessTo.insert(refused.string());
  startWith({entry});

  choose(entry);
  EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{textItem("deleted.txt")});
  EXPECT_TRUE(fs::exists(bookmarkFileOf(deleted)));  // unresolvable: left alone
  EXPECT_FALSE(fs::exists(bookmarkFileOf(refused)));  // refused: removed
  EXPECT_EQ(app.world.bookmarks.stops, 0);
}

TEST_F(RestoringTest, FileListsOfUnequalLengthsWalkOnlyTheirPairs) {
  const auto a = makeFile("a.txt"), b = makeFile("b.txt");
  const auto bookmarkA = app.world.bookmarks.createBookmark(Url::fileUrlWithPath(a.string())).value();
  const auto bookmarkB = app.world.bookmarks.createBookmark(Url::fileUrlWithPath(b.string())).value();
  struct Case {
    const char* name;
    ClipboardItem entry;
    std::vector<PasteboardItem> written;
  };
  const Case cases[] = {
      {"more paths than bookmarks", test::fileEntry({a.string(), b.string()}, {bookmarkA}), {fileUrlItem(a)}},
      {"more bookmarks than paths", test::fileEntry({a.string()}, {bookmarkA, bookmarkB}), {fileUrlItem(a)}},
      {"paths without bookmarks", test::fileEntry({b.string(), a.string()}, {}), {textItem("b.txt")}},
      {"no paths at all", test::fileEntry({}, {bookmarkA}), {}},
      {"a path with no name", test::fileEntry({""}, {}), {textItem("")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    startWith({c.entry});
    choose(c.entry);
    EXPECT_EQ(onPasteboard(), c.written);
    test::expectSameEntries(history(), {c.entry});
  }
}

TEST_F(RestoringTest, ASnapshotGoesBackTypeByTypeInItsOrder) {
  const auto entry = test::dataEntry();
  const PasteboardSnapshot snapshot{{"public.html", bytesOf("<b>x</b>")},
                                    {"org.chromium.source-url", bytesOf("https://www.figma.com/file/1")},
                                    {"com.example.binary", Bytes{0, 255, 10}}};
  writeDataFile(std::get<DataContent>(entry.content).storedFileId, bytesOf(encodePasteboardSnapshot(snapshot).value()));
  startWith({test::textEntry("text"), entry});

  choose(entry);
  EXPECT_EQ(onPasteboard(), std::vector<PasteboardItem>{snapshot});
  EXPECT_EQ(history()[0].id, entry.id);
}

// Bytes kept without their type can only go back under a type already on
// offer, and right after clearing there is none.
TEST_F(RestoringTest, DataThatIsNoSnapshotOrMissingWritesNothingAndStillMovesUp) {
  for (const auto* bytes : {"raw, not a snapshot", R"({"type": 1})", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(bytes ? bytes : "missing");
    const auto entry = test::dataEntry(), text = test::textEntry("text");
    if (bytes) writeDataFile(std::get<DataContent>(entry.content).storedFileId, bytesOf(bytes));
    startWith({text, entry});

    choose(entry);
    EXPECT_TRUE(onPasteboard().empty());
    test::expectSameEntries(history(), {entry, text});
    test::expectSameEntries(savedHistory(), {entry, text});
  }
  EXPECT_TRUE(app.console().empty());
}

TEST_F(RestoringTest, AnUnreadableDataFileIsReportedAndWritesNothing) {
  const auto entry = test::dataEntry(), text = test::textEntry("text");
  const auto dataFile = storage().dataDirectory() / std::get<DataContent>(entry.content).storedFileId.uuidString();
  fs::create_directories(dataFile);
  startWith({text, entry});

  choose(entry);
  EXPECT_TRUE(onPasteboard().empty());
  test::expectSameEntries(history(), {entry, text});
  EXPECT_EQ(app.console(), std::vector<std::string>{"Failed to load data file: Is a directory: " + dataFile.string()});
}

}  // namespace
}  // namespace bm
