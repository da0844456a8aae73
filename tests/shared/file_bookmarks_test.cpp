#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shared/file_bookmark_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/sim/sim_platform.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

class BookmarksTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf("x")).ok()); }

  sim::SimWorld world;
  sim::SimBookmarks& bookmarks = world.bookmarks;
  fs::path file = world.home() / "report.txt";
  Url url = Url::fileUrlWithPath(file.string());
};

TEST_F(BookmarksTest, ResolvesToTheSameFileNotStale) {
  const auto bookmark = bookmarks.createBookmark(url);
  ASSERT_TRUE(bookmark.ok());
  const auto resolved = bookmarks.resolveBookmark(bookmark.value());
  ASSERT_TRUE(resolved.ok());
  EXPECT_EQ(resolved.value().url.path(), file.string());
  EXPECT_FALSE(resolved.value().stale);
}

ino_t inodeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

TEST_F(BookmarksTest, AnotherFileAtThePathResolvesNotStaleAndAMissingFileFails) {
  const auto bookmark = bookmarks.createBookmark(url).value();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), world.home() / "other", bytesOf("y")).ok());  // made first: its own inode
  fs::remove(file);
  EXPECT_FALSE(bookmarks.resolveBookmark(bookmark).ok());

  fs::rename(world.home() / "other", file);
  const auto resolved = bookmarks.resolveBookmark(bookmark);
  ASSERT_TRUE(resolved.ok());
  EXPECT_EQ(resolved.value().url.path(), file.string());
  EXPECT_FALSE(resolved.value().stale);
}

// As editors save: the new text goes to a temporary file that is renamed over the old one.
TEST_F(BookmarksTest, AFileSavedThroughARenameStillResolvesAndCanBeRead) {
  const auto bookmark = bookmarks.createBookmark(url).value();
  const ino_t before = inodeOf(file);
  const auto temporary = world.home() / ".report.txt.swp";
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), temporary, bytesOf("edited")).ok());
  fs::rename(temporary, file);
  ASSERT_NE(inodeOf(file), before);

  const auto resolved = bookmarks.resolveBookmark(bookmark);
  ASSERT_TRUE(resolved.ok());
  EXPECT_EQ(resolved.value().url, url);
  EXPECT_FALSE(resolved.value().stale);
  EXPECT_TRUE(bookmarks.startAccessing(resolved.value().url));
  bookmarks.stopAccessing(resolved.value().url);
}

// Users' histories hold bookmarks made before: the same bytes must keep resolving.
TEST_F(BookmarksTest, ABookmarkWrittenEarlierStillResolves) {
  const std::string earlier = R"({"bookmark":1,"path":")" + file.string() + R"(","device":1,"inode":2})";
  const auto resolved = bookmarks.resolveBookmark(bytesOf(earlier));
  ASSERT_TRUE(resolved.ok());
  EXPECT_EQ(resolved.value().url.path(), file.string());
  EXPECT_FALSE(resolved.value().stale);
}

// Decoding reads only the bytes, so it still gives the record once the file is gone.
TEST_F(BookmarksTest, ABookmarkRecordsThePathAndIdentityAndDecodesWithoutTheFile) {
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  const auto bookmark = bookmarks.createBookmark(url).value();
  fs::remove(file);
  const auto record = decodeFileBookmark(bookmark);
  ASSERT_TRUE(record.ok()) << record.error().description;
  EXPECT_EQ(record.value(), (FileBookmarkRecord{file.string(), info.st_dev, info.st_ino}));
  EXPECT_EQ(encodeFileBookmark(record.value()), bookmark);
}

TEST_F(BookmarksTest, AccessIsGrantedOnlyToAFileThatCanBeRead) {
  EXPECT_TRUE(bookmarks.startAccessing(url));
  EXPECT_FALSE(bookmarks.startAccessing(Url::fileUrlWithPath((world.home() / "missing").string())));
  EXPECT_FALSE(bookmarks.startAccessing(*Url::parse("https://example.com/report.txt")));
}

TEST_F(BookmarksTest, RefusesWhatIsNoBookmarkOrNoFile) {
  EXPECT_FALSE(bookmarks.resolveBookmark(bytesOf("not a bookmark")).ok());
  EXPECT_FALSE(bookmarks.resolveBookmark({}).ok());
  EXPECT_FALSE(bookmarks.resolveBookmark(bytesOf(R"({"bookmark":1,"path":"/x"})")).ok());
  EXPECT_FALSE(bookmarks.createBookmark(*Url::parse("https://example.com/x")).ok());
  EXPECT_FALSE(bookmarks.createBookmark(Url::fileUrlWithPath((world.home() / "missing").string())).ok());
}

TEST_F(BookmarksTest, ScriptedTroubleAndMoves) {
  const auto bookmark = bookmarks.createBookmark(url).value();
  const auto moved = world.home() / "moved.txt";
  fs::rename(file, moved);
  bookmarks.movedTo[file.string()] = moved.string();
  auto resolved = bookmarks.resolveBookmark(bookmark);
  ASSERT_TRUE(resolved.ok());
  EXPECT_EQ(resolved.value().url.path(), moved.string());
  EXPECT_FALSE(resolved.value().stale);

  bookmarks.staleFor.insert(moved.string());
  EXPECT_TRUE(bookmarks.resolveBookmark(bookmark).value().stale);

  bookmarks.refuseAccessTo.insert(moved.string());
  EXPECT_FALSE(bookmarks.startAccessing(Url::fileUrlWithPath(moved.string())));
  bookmarks.stopAccessing(Url::fileUrlWithPath(moved.string()));
  EXPECT_EQ(bookmarks.starts, 1);
  EXPECT_EQ(bookmarks.stops, 1);

  bookmarks.refuseBookmarkFor.insert(moved.string());
  EXPECT_FALSE(bookmarks.createBookmark(Url::fileUrlWithPath(moved.string())).ok());
}

}  // namespace
}  // namespace bm
