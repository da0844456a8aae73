#include <gtest/gtest.h>

#include <filesystem>

#include "model/history_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "support/history_entries.h"
#include "support/sim_app.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

class LaunchTest : public ::testing::Test {
 protected:
  test::SimApp app;
  fs::path documents = app.world.documentsDirectory();
};

TEST_F(LaunchTest, StartsAsAnAgentWithItsIconAndAnEmptyTitle) {
  app.launch();
  EXPECT_EQ(app.exitStatus(), 0);
  EXPECT_EQ(app.platform().simApplication().activationPolicy(), ActivationPolicy::accessory);
  ASSERT_TRUE(app.statusItem());
  EXPECT_EQ(app.platform().simStatusBar().itemsMade(), 1u);
  const auto* button = app.statusItem()->simButton();
  ASSERT_TRUE(button);
  EXPECT_EQ(button->image().symbolName(), "clipboard");
  EXPECT_EQ(button->image().accessibilityDescription(), "Clipboard Manager");
  EXPECT_EQ(button->title(), "");

  const auto menu = app.statusItem()->menu();
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->delegate(), &app.delegate());
  EXPECT_TRUE(app.delegate().clipboardHistory.empty());
  EXPECT_FALSE(app.delegate().previewTimer);
  EXPECT_EQ(app.delegate().previewDuration, 5.0);
  EXPECT_EQ(app.delegate().persistenceManager, PersistenceManager::shared(app.platform()));
}

TEST_F(LaunchTest, TheStoredPreviewStyleIsTakenOnlyWhenItMatchesExactly) {
  const std::pair<std::optional<std::string>, PreviewStyle> cases[] = {
      {std::nullopt, PreviewStyle::temporary},
      {"Show always", PreviewStyle::always},
      {"Hide", PreviewStyle::hidden},
      {"HIDE", PreviewStyle::temporary},
      {"Show always ", PreviewStyle::temporary},
  };
  for (const auto& [stored, style] : cases) {
    test::SimApp fresh;
    if (stored) fresh.world.defaults.setString("PreviewStyle", *stored);
    fresh.launch();
    EXPECT_EQ(fresh.delegate().previewStyle, style) << stored.value_or("(none)");
    EXPECT_EQ(fresh.statusItem()->simButton()->title(), "");  // no preview at launch, whatever the style
  }
}

TEST_F(LaunchTest, DataAndThumbnailDirectoriesExistAfterLaunchButNotTheBookmarks) {
  app.launch();
  EXPECT_TRUE(fs::is_directory(documents / "ClipboardData"));
  EXPECT_TRUE(fs::is_directory(documents / "ClipboardThumbnails"));
  EXPECT_FALSE(fs::exists(documents / "FileBookmarks"));
}

TEST_F(LaunchTest, RegistersAsLoginItemLastWhenEverythingElseIsInPlace) {
  bool statusItemReady = false;
  size_t pending = 0;
  app.world.loginItems.onRegister = [&] {
    statusItemReady = app.statusItem() && app.statusItem()->menu();
    pending = app.platform().simMainLoop().pendingCount();
  };
  app.launch();
  EXPECT_EQ(app.world.loginItems.registrations, 1);
  EXPECT_TRUE(statusItemReady);
  EXPECT_EQ(pending, 1u);  // the poll timer
  EXPECT_TRUE(app.console().empty());

  app.restart();
  EXPECT_EQ(app.world.loginItems.registrations, 2);  // at every launch
}

TEST_F(LaunchTest, AFailedLoginItemRegistrationPrintsOneLineAndChangesNothingElse) {
  app.world.loginItems.failure = "Operation not permitted";
  app.launch();
  EXPECT_EQ(app.console(), std::vector<std::string>{"Failed to register as login item: Operation not permitted"});
  app.world.pasteboard.copyText("still polling");
  app.advance(0.5);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), app.world.pasteboard.changeCount());
  EXPECT_EQ(app.console().size(), 1u);
}

TEST_F(LaunchTest, TheFirstPollComesHalfASecondAfterLaunch) {
  app.world.pasteboard.copyText("copied before launch");
  app.launch();
  app.advance(0.49);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), 0);
  app.advance(0.01);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), 1);
}

TEST_F(LaunchTest, WithoutAButtonThereIsNoIconNoMenuButPollingStillWorks) {
  app.world.statusItemsHaveButtons = false;
  app.launch();
  ASSERT_TRUE(app.statusItem());
  EXPECT_FALSE(app.statusItem()->button());
  EXPECT_FALSE(app.statusItem()->menu());
  EXPECT_FALSE(app.platform().openMenu());
  app.world.pasteboard.copyText("x");
  app.advance(0.5);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), 1);
}

TEST_F(LaunchTest, WithoutADocumentsFolderItStopsWithAMessage) {
  app.world.hasDocumentsDirectory = false;
  app.launch();
  EXPECT_EQ(app.exitStatus(), 1);
  EXPECT_EQ(app.console(), std::vector<std::string>{"Brindlemux cannot start: the system gives no documents folder"});
  EXPECT_FALSE(app.statusItem());
  EXPECT_EQ(app.world.loginItems.registrations, 0);
}

TEST_F(LaunchTest, ThePollHoldsTheDelegateOnlyWeakly) {
  app.launch();
  auto platform = std::make_unique<sim::SimPlatform>(app.world);
  std::weak_ptr<AppDelegate> weak;
  {
    auto delegate = std::make_shared<AppDelegate>(*platform);
    delegate->configureOnLaunch();
    weak = delegate;
  }
  EXPECT_TRUE(weak.expired());
  app.world.pasteboard.copyText("x");
  platform->advance(1);  // the orphaned poll runs and does nothing
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), 0);
}

TEST_F(LaunchTest, LoadsTheHistoryAndRemovesTheStoredFilesNoEntryNames) {
  const auto image = test::imageEntry(), data = test::dataEntry();
  const std::vector<ClipboardItem> history = {test::textEntry("newest"), image, data};
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), documents / "ClipboardHistory.data", bytesOf(encodeHistory(history).value())));
  const auto imageId = std::get<ImageContent>(image.content).storedFileId.uuidString();
  const auto dataId = std::get<DataContent>(data.content).storedFileId.uuidString();
  const auto orphan = Uuid::random().uuidString();
  for (const auto& dir : {documents / "ClipboardData", documents / "ClipboardThumbnails", documents / "FileBookmarks"}) {
    fs::create_directories(dir);
    for (const auto& name : {imageId, dataId, orphan, image.id.uuidString()}) {
      ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), dir / name, bytesOf("stored")));
    }
  }

  app.launch();
  test::expectSameEntries(app.delegate().clipboardHistory, history);
  EXPECT_TRUE(app.console().empty());
  for (const auto& dir : {documents / "ClipboardData", documents / "ClipboardThumbnails"}) {
    EXPECT_TRUE(fs::exists(dir / imageId));
    EXPECT_TRUE(fs::exists(dir / dataId));
    EXPECT_FALSE(fs::exists(dir / orphan));
    EXPECT_FALSE(fs::exists(dir / image.id.uuidString()));  // an entry's own id names no file
  }
  EXPECT_TRUE(fs::exists(documents / "FileBookmarks" / orphan));  // never cleaned
}

TEST_F(LaunchTest, NoStoredFileIsRemovedWhileAnUnreadableHistoryIsKeptAside) {
  const fs::path data = documents / "ClipboardData";
  fs::create_directories(data);
  const auto stored = Uuid::random().uuidString();
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), data / stored, bytesOf("named by the unreadable history")));
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), documents / "ClipboardHistory.data", bytesOf("[{\"broken")));

  app.launch();
  EXPECT_EQ(app.console().size(), 1u);
  app.restart();  // the new, empty history is saved beside the kept-aside one
  EXPECT_TRUE(fs::exists(data / stored));
  EXPECT_EQ(app.console().size(), 0u);

  // Once the user lets go of the kept-aside file, the cleanup runs again.
  fs::remove(documents / "ClipboardHistory.data.unreadable");
  app.restart();
  EXPECT_FALSE(fs::exists(data / stored));
}

}  // namespace
}  // namespace bm
