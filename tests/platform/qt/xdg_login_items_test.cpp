#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/qt/xdg_login_items.h"
#include "platform/sim/sim_platform.h"

namespace bm::qt {
namespace {
namespace fs = std::filesystem;

std::string execLine(const std::string& executable) {
  const auto entry = XdgLoginItems::desktopEntry(executable);
  const auto start = entry.find("Exec=");
  return entry.substr(start, entry.find('\n', start) - start);
}

TEST(XdgLoginItemsTest, QuotesTheExecutableAsDesktopEntriesRequire) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/brindlemux", R"(Exec="/usr/bin/brindlemux")"},
      {"/opt/My Apps/brindlemux", R"(Exec="/opt/My Apps/brindlemux")"},
      {"/opt/a$b/x", R"(Exec="/opt/a\\$b/x")"},
      {"/opt/\"q\"/x", R"(Exec="/opt/\\"q\\"/x")"},
      {"/opt/back\\slash", R"(Exec="/opt/back\\\\slash")"},
      {"/opt/100%/x", R"(Exec="/opt/100%%/x")"},
  };
  for (const auto& [executable, line] : cases) EXPECT_EQ(execLine(executable), line) << executable;
}

TEST(XdgLoginItemsTest, WritesAPrivateEntryAndSaysWhyWhenItCannot) {
  sim::SimWorld world;
  const auto entry = world.home() / ".config" / "autostart" / "brindlemux.desktop";
  XdgLoginItems items(entry, "/usr/bin/brindlemux");
  ASSERT_TRUE(items.registerMainApp().ok());
  ASSERT_TRUE(items.registerMainApp().ok());  // again at the next launch
  EXPECT_EQ(textOf(files::readWholeFile(entry).value()), XdgLoginItems::desktopEntry("/usr/bin/brindlemux"));
  struct stat info {};
  ASSERT_EQ(::stat(entry.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  const auto blocked = world.home() / "blocked";
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), blocked, bytesOf("a file, not a folder")).ok());
  const auto failed = XdgLoginItems(blocked / "brindlemux.desktop", "/x").registerMainApp();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().description, "Not a directory: " + blocked.string());
}

}  // namespace
}  // namespace bm::qt
