#include <gtest/gtest.h>

#include <set>

#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/sim/sim_platform.h"
#include "storage/persistence_manager.h"
#include "support/history_entries.h"
#include "support/sim_app.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

// Every name in `dir`, hidden ones included; empty when it cannot be listed.
std::set<std::string> namesIn(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

class StoredFileCleanupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(outside / "folder");
    put(outside / "target", "outside");
    put(outside / "folder" / "inside", "outside");
  }

  static void put(const fs::path& file, std::string_view text) {
    ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf(text)).ok()) << file;
  }
  // A stored id's files: data always, thumbnail for images.
  void store(const Uuid& id, bool thumbnail) {
    put(data / id.uuidString(), "data");
    if (thumbnail) put(thumbnails / id.uuidString(), "thumbnail");
  }
  // Everything a directory may hold that no entry names.
  void litter(const fs::path& dir, const Uuid& keptId) {
    put(dir / ".hidden", "x");
    put(dir / "notes.txt", "x");
    std::string lower = keptId.uuidString();
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    put(dir / lower, "x");
    fs::create_directories(dir / "sub" / "deeper");
    put(dir / "sub" / "deeper" / "file", "x");
    fs::create_symlink(outside / "target", dir / "link-to-file");
    fs::create_symlink(outside / "folder", dir / "link-to-folder");
  }
  void expectOutsideUntouched() {
    EXPECT_TRUE(fs::exists(outside / "target"));
    EXPECT_TRUE(fs::exists(outside / "folder" / "inside"));
    EXPECT_EQ(namesIn(bookmarks), std::set<std::string>{"-123"});
    EXPECT_TRUE(fs::exists(documents / "ClipboardHistory.data"));
  }

  sim::SimWorld world;
  sim::SimPlatform platform{world};
  std::shared_ptr<PersistenceManager> manager = PersistenceManager::shared(platform);
  fs::path documents = world.documentsDirectory();
  fs::path data = manager->dataDirectory();
  fs::path thumbnails = manager->thumbnailDirectory();
  fs::path bookmarks = [this] {
    put(manager->bookmarksDirectory() / "-123", "bookmark");
    put(documents / "ClipboardHistory.data", "[]");
    return manager->bookmarksDirectory();
  }();
  fs::path outside = world.home() / "elsewhere";
};

TEST_F(StoredFileCleanupTest, DeleteFilesRemovesOneIdsDataAndThumbnailWhateverIsThere) {
  const Uuid image = Uuid::random(), data1 = Uuid::random(), other = Uuid::random(), none = Uuid::random();
  store(image, true);
  store(data1, true);
  fs::remove(data / data1.uuidString());  // thumbnail left, data already gone
  store(other, true);
  const Uuid dataOnly = Uuid::random();
  store(dataOnly, false);
  const Uuid linked = Uuid::random();
  fs::create_symlink(outside / "target", data / linked.uuidString());
  fs::create_symlink(outside / "folder", thumbnails / linked.uuidString());

  for (const auto& id : {image, data1, dataOnly, none, linked}) manager->deleteFiles(id);
  EXPECT_EQ(namesIn(data), std::set<std::string>{other.uuidString()});
  EXPECT_EQ(namesIn(thumbnails), std::set<std::string>{other.uuidString()});
  EXPECT_TRUE(platform.consoleLines().empty());
  expectOutsideUntouched();
}

TEST_F(StoredFileCleanupTest, DeleteAllFilesEmptiesBothDirectoriesOnly) {
  const Uuid id = Uuid::random();
  store(id, true);
  litter(data, id);
  litter(thumbnails, id);
  manager->deleteAllFiles();
  EXPECT_TRUE(namesIn(data).empty());
  EXPECT_TRUE(namesIn(thumbnails).empty());
  EXPECT_TRUE(fs::is_directory(data));
  EXPECT_TRUE(fs::is_directory(thumbnails));
  expectOutsideUntouched();
}

TEST_F(StoredFileCleanupTest, OrphansAreEverythingNotNamedExactlyByAKeptId) {
  const Uuid image = Uuid::random(), dataId = Uuid::random(), orphan = Uuid::random();
  store(image, true);
  store(dataId, false);
  store(orphan, true);
  litter(data, image);
  litter(thumbnails, image);

  manager->removeOrphanedFiles({image, dataId});
  EXPECT_EQ(namesIn(data), (std::set<std::string>{image.uuidString(), dataId.uuidString()}));
  EXPECT_EQ(namesIn(thumbnails), std::set<std::string>{image.uuidString()});
  expectOutsideUntouched();

  manager->removeOrphanedFiles({});
  EXPECT_TRUE(namesIn(data).empty());
  EXPECT_TRUE(namesIn(thumbnails).empty());
  expectOutsideUntouched();
}

TEST_F(StoredFileCleanupTest, ADirectoryThatCannotBeListedIsSkipped) {
  fs::remove_all(data);
  put(data, "a file where the data directory belongs");
  const Uuid orphan = Uuid::random();
  put(thumbnails / orphan.uuidString(), "thumbnail");
  manager->removeOrphanedFiles({});
  manager->deleteFiles(orphan);
  manager->deleteAllFiles();
  EXPECT_TRUE(fs::is_regular_file(data));
  EXPECT_TRUE(namesIn(thumbnails).empty());
}

TEST(ReferencedFileIdsTest, AreTheStoredFileIdsOfImageAndDataEntriesInHistoryOrder) {
  test::SimApp app;
  app.launch();
  auto& history = app.delegate().clipboardHistory;
  history = {test::textEntry("a"), test::fileEntry({"/a"}, {Bytes{1}})};
  EXPECT_TRUE(app.delegate().referencedFileIDs().empty());

  const auto data = test::dataEntry(), image = test::imageEntry();
  history.insert(history.begin() + 1, data);
  history.push_back(image);
  EXPECT_EQ(app.delegate().referencedFileIDs(),
            (std::vector<Uuid>{std::get<DataContent>(data.content).storedFileId,
                               std::get<ImageContent>(image.content).storedFileId}));
}

}  // namespace
}  // namespace bm
