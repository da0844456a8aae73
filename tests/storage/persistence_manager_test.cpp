#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/sim/sim_platform.h"
#include "storage/path_hash.h"
#include "storage/persistence_manager.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

class PersistenceManagerTest : public ::testing::Test {
 protected:
  sim::SimWorld world;
  sim::SimPlatform platform{world};
  std::shared_ptr<PersistenceManager> manager = PersistenceManager::shared(platform);
  fs::path documents = world.documentsDirectory();
};

TEST_F(PersistenceManagerTest, OneManagerPerProcessWithTheFixedLayout) {
  EXPECT_EQ(PersistenceManager::shared(platform), manager);
  EXPECT_EQ(manager->documentsDirectory, documents);
  EXPECT_EQ(manager->previewStyleKey, "PreviewStyle");
  EXPECT_EQ(manager->maxHistoryItems, 50);
  EXPECT_EQ(manager->historyFileName, "ClipboardHistory.data");

  sim::SimPlatform nextProcess(world);
  EXPECT_NE(PersistenceManager::shared(nextProcess), manager);
}

TEST_F(PersistenceManagerTest, DirectoriesAreMadePrivateOnFirstAccessOnly) {
  EXPECT_FALSE(fs::exists(documents / "ClipboardData"));
  const std::pair<const fs::path&, const char*> cases[] = {
      {manager->dataDirectory(), "ClipboardData"},
      {manager->thumbnailDirectory(), "ClipboardThumbnails"},
      {manager->bookmarksDirectory(), "FileBookmarks"},
  };
  for (const auto& [dir, name] : cases) {
    EXPECT_EQ(dir, documents / name);
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0) << name;
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u) << name;
  }

  // Tested once per process: a directory removed meanwhile is not made again.
  fs::remove(documents / "ClipboardData");
  EXPECT_EQ(manager->dataDirectory(), documents / "ClipboardData");
  EXPECT_FALSE(fs::exists(documents / "ClipboardData"));
}

TEST_F(PersistenceManagerTest, AFileWhereADirectoryBelongsIsLeftAloneAndWritesBelowItFail) {
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), documents / "ClipboardThumbnails", bytesOf("in the way")).ok());
  const auto& dir = manager->thumbnailDirectory();
  EXPECT_EQ(dir, documents / "ClipboardThumbnails");
  EXPECT_TRUE(fs::is_regular_file(dir));
  EXPECT_FALSE(files::writeWholeFile(posixFileSystem(), dir / "X", bytesOf("thumb")).ok());
}

TEST_F(PersistenceManagerTest, PreviewStyleIsStoredAsItsRawValueAndReadBackStrictly) {
  EXPECT_EQ(manager->storedPreviewStyle(), PreviewStyle::temporary);  // nothing stored
  manager->savePreviewStyle(PreviewStyle::hidden);
  EXPECT_EQ(world.defaults.stringForKey("PreviewStyle"), "Hide");
  EXPECT_EQ(manager->storedPreviewStyle(), PreviewStyle::hidden);

  const std::pair<const char*, PreviewStyle> stored[] = {
      {"Show always", PreviewStyle::always}, {"Show for 5 seconds", PreviewStyle::temporary},
      {"hide", PreviewStyle::temporary},     {"Hide ", PreviewStyle::temporary},
      {"", PreviewStyle::temporary},         {"always", PreviewStyle::temporary},
  };
  for (const auto& [text, style] : stored) {
    world.defaults.setString("PreviewStyle", text);
    EXPECT_EQ(manager->storedPreviewStyle(), style) << '"' << text << '"';
  }
}

TEST(PathHashTest, IsFnv1aOfTheUtf8BytesReadAsSigned) {
  // Published FNV-1a 64 test vectors.
  EXPECT_EQ(static_cast<std::uint64_t>(pathHash("")), 0xcbf29ce484222325ULL);
  EXPECT_EQ(static_cast<std::uint64_t>(pathHash("a")), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(static_cast<std::uint64_t>(pathHash("foobar")), 0x85944171f73967e8ULL);
  EXPECT_NE(pathHash("/Users/a/ä.txt"), pathHash("/Users/a/a\xCC\x88.txt"));  // bytes, not characters
}

TEST(PathHashTest, BookmarkNamesAreDecimalWithAMinusSignWhenNegative) {
  EXPECT_EQ(bookmarkFileName(""), "-3750763034362895579");
  EXPECT_EQ(bookmarkFileName("a"), "-5808556873153909620");
  for (const char* path : {"/tmp/a.txt", "/home/u/Documents/report final.pdf", "/"}) {
    const auto name = bookmarkFileName(path);
    EXPECT_EQ(name, std::to_string(pathHash(path)));
    EXPECT_EQ(name[0] == '-', pathHash(path) < 0);
    EXPECT_EQ(bookmarkFileName(path), name);
  }
}

}  // namespace
}  // namespace bm
