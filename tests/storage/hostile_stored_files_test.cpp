#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <map>

#include "model/history_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "storage/path_hash.h"
#include "support/history_entries.h"
#include "support/sim_app.h"
#include "support/test_images.h"

// Stored files that are not what the application wrote: each gives one
// clear line or none, never a crash, and nothing outside the application's
// folder is read, written or removed.
namespace bm {
namespace {
namespace fs = std::filesystem;

std::map<std::string, std::string> treeOf(const fs::path& folder) {
  std::map<std::string, std::string> found;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const auto bytes = item.is_regular_file() ? files::readWholeFile(item.path()) : Result<Bytes>(Bytes{});
    found[fs::relative(item.path(), folder).string()] = bytes ? textOf(bytes.value()) : "?";
  }
  return found;
}

timespec accessTime(const fs::path& file) {
  struct stat info {};
  ::stat(file.c_str(), &info);
  return info.st_atim;
}

bool operator==(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Sets the access time before the change time, so that a read shows on a
// file system that updates access times only then (relatime).
void markUnread(const fs::path& file) {
  const timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
  ::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

class HostileStoredFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(outside);
    write(outside / "secret.png", test::stripes(6, 6));
    write(outside / "history.data", bytesOf(encodeHistory(std::vector{test::textEntry("from outside")}).value()));
    fs::create_directories(outside / "folder");
    write(outside / "folder" / "kept", bytesOf("kept"));
    fs::create_directories(base / "ClipboardData");
    fs::create_directories(base / "ClipboardThumbnails");
    fs::create_directories(base / "FileBookmarks");
    // Whether this file system shows a read in the access time at all.
    markUnread(outside / "history.data");
    (void)files::readWholeFile(outside / "history.data");
    readsShow = !(accessTime(outside / "history.data") == timespec{1000000000, 0});
    outsideBefore = treeOf(outside);
    for (const auto& item : fs::recursive_directory_iterator(outside)) markUnread(item.path());
  }

  void TearDown() override {
    for (const auto& item : fs::recursive_directory_iterator(outside)) {
      if (!readsShow || !item.is_regular_file()) continue;
      EXPECT_TRUE(accessTime(item.path()) == (timespec{1000000000, 0})) << item.path() << " was read";
    }
    EXPECT_EQ(treeOf(outside), outsideBefore) << "something outside was written or removed";
  }

  void write(const fs::path& file, const Bytes& bytes) {
    ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytes).ok()) << file;
  }
  void startWith(const std::vector<ClipboardItem>& entries) {
    write(base / "ClipboardHistory.data", bytesOf(encodeHistory(entries).value()));
  }
  fs::path dataFile(const Uuid& id) { return base / "ClipboardData" / id.uuidString(); }
  fs::path thumbnail(const Uuid& id) { return base / "ClipboardThumbnails" / id.uuidString(); }
  std::vector<ClipboardItem>& history() { return app.delegate().clipboardHistory; }
  const MenuItem* itemFor(const ClipboardItem& entry) {
    for (const auto& item : app.statusItem()->menu()->items()) {
      const auto* carried = std::any_cast<ClipboardItem>(&item.representedObject());
      if (carried && carried->id == entry.id) return &item;
    }
    return nullptr;
  }
  void choose(const ClipboardItem& entry) {
    const MenuItem* item = itemFor(entry);
    ASSERT_TRUE(item) << entry.displayText;
    item->action()(MenuItem(*item));
  }
  std::vector<std::string> linesSince(size_t from) {
    return {app.console().begin() + static_cast<long>(from), app.console().end()};
  }

  test::SimApp app;
  fs::path base = app.world.documentsDirectory();
  fs::path outside = app.world.home() / "outside";
  std::map<std::string, std::string> outsideBefore;
  bool readsShow = false;
};

TEST_F(HostileStoredFilesTest, DataFilesThatAreNoFileGiveOneLineWhenRestoredOrCompared) {
  const auto folder = test::imageEntry(), link = test::imageEntry(), fifo = test::dataEntry();
  const auto emptyData = test::dataEntry(), emptyImage = test::imageEntry();
  startWith({test::textEntry("top"), folder, link, fifo, emptyData, emptyImage});
  const Uuid folderId = *storedFileIdOf(folder.content), linkId = *storedFileIdOf(link.content);
  const Uuid fifoId = *storedFileIdOf(fifo.content);
  fs::create_directories(dataFile(folderId) / "inside");
  fs::create_symlink(outside / "secret.png", dataFile(linkId));
  ASSERT_EQ(::mkfifo(dataFile(fifoId).c_str(), 0600), 0);  // no writer: a blocking read would wait for ever
  write(dataFile(*storedFileIdOf(emptyData.content)), {});
  write(dataFile(*storedFileIdOf(emptyImage.content)), {});
  app.launch();
  ASSERT_TRUE(app.console().empty());

  const struct {
    const char* name;
    ClipboardItem entry;
    std::vector<std::string> lines;
  } cases[] = {
      {"a directory", folder,
       {"Failed to load data file: Is a directory: " + dataFile(folderId).string()}},
      {"a link to a picture outside", link,
       {"Failed to load data file: Too many levels of symbolic links: " + dataFile(linkId).string()}},
      {"a FIFO", fifo, {"Failed to load data file: Not a regular file: " + dataFile(fifoId).string()}},
      {"an empty data file", emptyData, {}},
      {"an empty image file", emptyImage, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t from = app.console().size();
    choose(c.entry);
    EXPECT_EQ(linesSince(from), c.lines);
    EXPECT_TRUE(app.world.pasteboard.items().empty());
    EXPECT_EQ(history()[0].id, c.entry.id);  // the history moves on all the same
    app.advance(0.5);
  }

  // A copy of the very picture the link leads to is compared with neither
  // the link's target nor the directory's contents; each says so once, in
  // history order (the link was restored after the directory). The empty
  // image file is a different picture.
  const size_t from = app.console().size();
  app.world.pasteboard.copyImage(test::stripes(6, 6), "public.png");
  app.advance(0.5);
  EXPECT_EQ(linesSince(from),
            (std::vector<std::string>{
                "Failed to load data file: Too many levels of symbolic links: " + dataFile(linkId).string(),
                "Failed to load data file: Is a directory: " + dataFile(folderId).string()}));
  ASSERT_EQ(history().size(), 7u);
  EXPECT_EQ(history()[0].type, ItemType::image);

  // Clearing removes the link, not what it leads to.
  ASSERT_TRUE(app.platform().openMenu());
  ASSERT_TRUE(app.platform().chooseMenuItem("Clear all history"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dataFile(linkId))));
  EXPECT_TRUE(fs::is_empty(base / "ClipboardData"));
}

TEST_F(HostileStoredFilesTest, ThumbnailsThatCannotBeShownLeaveThePlainItemSilently) {
  const auto huge = test::imageEntry(), link = test::imageEntry(), empty = test::imageEntry();
  const auto fifo = test::imageEntry(), fine = test::imageEntry();
  const auto idOf = [](const ClipboardItem& entry) { return *storedFileIdOf(entry.content); };
  startWith({huge, link, empty, fifo, fine});
  ASSERT_EQ(::mkfifo(thumbnail(idOf(fifo)).c_str(), 0600), 0);
  write(thumbnail(idOf(huge)), test::pngDeclaring(100000, 100000));
  fs::create_symlink(outside / "secret.png", thumbnail(idOf(link)));
  write(thumbnail(idOf(empty)), {});
  write(thumbnail(idOf(fine)), test::stripes(8, 8));
  app.launch();
  EXPECT_TRUE(app.console().empty());
  for (const auto* entry : {&huge, &link, &empty, &fifo}) {
    const MenuItem* item = itemFor(*entry);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->image().isNull());
  }
  ASSERT_TRUE(itemFor(fine));
  EXPECT_FALSE(itemFor(fine)->image().isNull());  // the same path shows a good thumbnail
}

TEST_F(HostileStoredFilesTest, LinksAmongTheStoredFilesAreRemovedAsLinksAtLaunch) {
  startWith({test::textEntry("only")});
  const Uuid orphan = Uuid::random();
  fs::create_directory_symlink(outside / "folder", dataFile(orphan));
  fs::create_symlink(outside / "secret.png", thumbnail(orphan));
  fs::create_symlink(outside / "history.data", base / "ClipboardHistory.data.tmp");
  app.launch();
  EXPECT_TRUE(app.console().empty());
  EXPECT_TRUE(fs::is_empty(base / "ClipboardData"));
  EXPECT_TRUE(fs::is_empty(base / "ClipboardThumbnails"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(base / "ClipboardHistory.data.tmp")));
}

TEST_F(HostileStoredFilesTest, AHistoryFileThatIsALinkIsNeitherReadNorWrittenThrough) {
  const fs::path history = base / "ClipboardHistory.data";
  fs::create_symlink(outside / "history.data", history);
  app.launch();
  EXPECT_EQ(app.console(), (std::vector<std::string>{
                               "Failed to load clipboard history: Too many levels of symbolic links: " +
                               history.string() + " (the file is kept as " + history.string() + ".unreadable)"}));
  EXPECT_TRUE(this->history().empty());
  EXPECT_EQ(fs::read_symlink(history.string() + ".unreadable"), outside / "history.data");

  // A link put there while the app runs is replaced by the next save.
  fs::remove(history);
  fs::create_symlink(outside / "history.data", history);
  app.world.pasteboard.copyText("saved here");
  app.advance(0.5);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(history)));
  const auto saved = decodeHistory(textOf(files::readWholeFile(history).value()));
  ASSERT_TRUE(saved.ok());
  ASSERT_EQ(saved.value().size(), 1u);
  EXPECT_EQ(std::get<TextContent>(saved.value()[0].content).text(), "saved here");
  EXPECT_EQ(app.console().size(), 1u);
}

TEST_F(HostileStoredFilesTest, ALeftoverTemporaryFileGoesQuietlyAndTheHistoryLoads) {
  const auto entries = std::vector<ClipboardItem>{test::textEntry("a"), test::textEntry("b")};
  startWith(entries);
  const fs::path temporary = base / "ClipboardHistory.data.tmp";
  for (const bool directory : {false, true}) {
    SCOPED_TRACE(directory ? "a directory" : "a part-file");
    if (directory)
      fs::create_directories(temporary / "inside");
    else
      write(temporary, bytesOf("[{\"id\":\"cut short"));
    app.launch();
    EXPECT_TRUE(app.console().empty());
    test::expectSameEntries(history(), entries);
    EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));
    app.kill();
  }
  // Nothing stands in the next save's way.
  app.launch();
  app.world.pasteboard.copyText("c");
  app.advance(0.5);
  EXPECT_TRUE(app.console().empty());
  EXPECT_EQ(history().size(), 3u);
}

TEST_F(HostileStoredFilesTest, StoredFileFoldersThatAreLinksAreNeverClearedOut) {
  startWith({test::textEntry("only")});
  fs::remove(base / "ClipboardData");
  fs::create_directory_symlink(outside / "folder", base / "ClipboardData");
  app.launch();  // the orphan cleanup would take "kept"
  ASSERT_TRUE(app.platform().openMenu());
  ASSERT_TRUE(app.platform().chooseMenuItem("Clear all history"));
  EXPECT_TRUE(app.console().empty());
  EXPECT_TRUE(fs::is_symlink(base / "ClipboardData"));
}

TEST_F(HostileStoredFilesTest, ACopiedFileReplacesALinkAtItsSpareBookmarkFile) {
  const fs::path a = app.world.home() / "a.txt";
  write(a, bytesOf("a"));
  const fs::path spare = base / "FileBookmarks" / bookmarkFileName(a.string());
  fs::create_symlink(outside / "secret.png", spare);
  app.launch();
  app.world.pasteboard.copyFiles({a});
  app.advance(0.5);
  ASSERT_EQ(history().size(), 1u);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(spare)));
  EXPECT_EQ(files::readWholeFile(spare).value(), std::get<FileContent>(history()[0].content).bookmarks[0]);
  EXPECT_TRUE(app.console().empty());
}

TEST_F(HostileStoredFilesTest, BookmarkFilesOfZeroBytesOrLinksAreOnlyEverRemovedAsThemselves) {
  const fs::path a = app.world.home() / "a.txt", b = app.world.home() / "b.txt";
  write(a, bytesOf("a"));
  write(b, bytesOf("b"));
  const auto bookmarkOf = [&](const fs::path& path) {
    return app.world.bookmarks.createBookmark(Url::fileUrlWithPath(path.string())).value();
  };
  const auto spareOf = [&](const fs::path& path) {
    return base / "FileBookmarks" / bookmarkFileName(path.string());
  };
  const auto fresh = test::fileEntry({a.string()}, {bookmarkOf(a)});
  const auto stale = test::fileEntry({b.string()}, {bookmarkOf(b)});
  const auto emptyBookmark = test::fileEntry({"/nowhere/c.txt"}, {Bytes{}});
  startWith({test::textEntry("top"), fresh, stale, emptyBookmark});
  write(spareOf(a), {});
  fs::create_symlink(outside / "secret.png", spareOf(b));
  app.world.bookmarks.staleFor.insert(b.string());
  app.launch();

  choose(fresh);  // a spare of no bytes is never read: the entry carries the bookmark
  EXPECT_EQ(app.world.pasteboard.items().size(), 1u);
  EXPECT_TRUE(fs::exists(spareOf(a)));
  app.advance(0.5);
  choose(stale);  // its spare goes, as a link
  EXPECT_FALSE(fs::exists(fs::symlink_status(spareOf(b))));
  app.advance(0.5);
  choose(emptyBookmark);  // nothing resolves: the name goes back as text
  ASSERT_EQ(app.world.pasteboard.items().size(), 1u);
  EXPECT_EQ(app.world.pasteboard.stringForType(kPasteboardTypeString), "c.txt");
  EXPECT_TRUE(app.console().empty());
}

}  // namespace
}  // namespace bm
