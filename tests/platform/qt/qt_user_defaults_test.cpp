#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/qt/qt_user_defaults.h"
#include "platform/sim/sim_platform.h"

namespace bm::qt {
namespace {

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(QtUserDefaultsTest, ValuesReadBackAsTheCallerExpectsAndSurviveARestart) {
  sim::SimWorld world;
  const auto file = world.home() / "Brindlemux.conf";
  {
    QtUserDefaults defaults(file);
    EXPECT_EQ(defaults.stringForKey("PreviewStyle"), std::nullopt);
    EXPECT_EQ(defaults.integerForKey("LastChangeCount"), 0);
    defaults.setString("PreviewStyle", "Show for 5 seconds");
    defaults.setInteger("LastChangeCount", 1796909162458);
    defaults.setString("Words", "not a number");
    EXPECT_EQ(defaults.integerForKey("Words"), 0);
    EXPECT_EQ(defaults.stringForKey("LastChangeCount"), "1796909162458");
  }
  const mode_t old = ::umask(022);
  QtUserDefaults again(file);
  again.setInteger("LastChangeCount", -5);
  ::umask(old);
  EXPECT_EQ(again.stringForKey("PreviewStyle"), "Show for 5 seconds");
  EXPECT_EQ(again.integerForKey("LastChangeCount"), -5);
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// Another process (and the desktop tests) reads the file while the app runs.
TEST(QtUserDefaultsTest, EachWriteIsInTheFileAtOnceAndReadBackAfterEarlierReads) {
  sim::SimWorld world;
  const auto file = world.home() / "Brindlemux.conf";
  QtUserDefaults defaults(file);
  EXPECT_EQ(defaults.integerForKey("LastChangeCount"), 0);
  EXPECT_EQ(defaults.stringForKey("PreviewStyle"), std::nullopt);

  defaults.setInteger("LastChangeCount", 41);
  EXPECT_EQ(contents(file), "[General]\nLastChangeCount=41\n");
  defaults.setString("PreviewStyle", "Show for 5 seconds");
  defaults.setInteger("LastChangeCount", 42);
  EXPECT_EQ(contents(file), "[General]\nLastChangeCount=42\nPreviewStyle=Show for 5 seconds\n");
  EXPECT_EQ(defaults.integerForKey("LastChangeCount"), 42);
  EXPECT_EQ(defaults.stringForKey("PreviewStyle"), "Show for 5 seconds");
}

}  // namespace
}  // namespace bm::qt
