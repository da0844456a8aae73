#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/sim/sim_platform.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class FilesTest : public ::testing::Test {
 protected:
  sim::SimWorld world;
  fs::path root = world.home();
};

TEST_F(FilesTest, NewDirectoriesAndFilesArePrivateWhateverTheUmask) {
  const mode_t old = ::umask(0);
  const auto dir = root / "a" / "b" / "c";
  EXPECT_TRUE(files::createPrivateDirectories(posixFileSystem(), dir).ok());
  EXPECT_TRUE(files::writeWholeFile(posixFileSystem(), dir / "f", bytesOf("secret")).ok());
  ::umask(old);
  for (const auto& made : {root / "a", root / "a" / "b", dir}) EXPECT_EQ(modeOf(made), 0700u) << made;
  EXPECT_EQ(modeOf(dir / "f"), 0600u);
}

TEST_F(FilesTest, RewritingAnOlderWideOpenFileNarrowsItAndReplacesItsContents) {
  const auto file = root / "old";
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf("a much longer old content")).ok());
  ::chmod(file.c_str(), 0644);
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf("new")).ok());
  EXPECT_EQ(modeOf(file), 0600u);
  EXPECT_EQ(textOf(files::readWholeFile(file).value()), "new");
}

TEST_F(FilesTest, FailuresNameTheCauseAndThePath) {
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), root / "plain", bytesOf("x")).ok());

  const auto underFile = files::createPrivateDirectories(posixFileSystem(), root / "plain" / "sub");
  ASSERT_FALSE(underFile.ok());
  EXPECT_EQ(underFile.error().description, "Not a directory: " + (root / "plain" / "sub").string());

  const auto write = files::writeWholeFile(posixFileSystem(), root / "plain" / "f", bytesOf("x"));
  ASSERT_FALSE(write.ok());
  EXPECT_NE(write.error().description.find("Not a directory"), std::string::npos);

  fs::create_directory(root / "dir");
  const auto read = files::readWholeFile(root / "dir");
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().description, "Is a directory: " + (root / "dir").string());

  EXPECT_FALSE(files::readWholeFile(root / "missing").ok());
  EXPECT_FALSE(files::createPrivateDirectories(posixFileSystem(), root / "plain").ok());
}

TEST_F(FilesTest, ReadsBackLargeAndEmptyFilesWhole) {
  Bytes big(300000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), root / "big", big).ok());
  EXPECT_EQ(files::readWholeFile(root / "big").value(), big);
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), root / "empty", {}).ok());
  EXPECT_TRUE(files::readWholeFile(root / "empty").value().empty());
}

}  // namespace
}  // namespace bm
