#include <gtest/gtest.h>

#include "model/history_codec.h"
#include "shared/files.h"
#include "support/history_entries.h"
#include "support/sim_app.h"

namespace bm {
namespace {

std::vector<std::string> writesOf(const sim::SimUserDefaults& defaults, const std::string& key) {
  std::vector<std::string> values;
  for (const auto& [written, value] : defaults.writes())
    if (written == key) values.push_back(value);
  return values;
}

TEST(QuitTest, QuittingFromTheMenuSavesBeforeAskingToTerminateAndAgainDuringTermination) {
  test::SimApp app;
  app.launch();
  app.delegate().previewStyle = PreviewStyle::always;
  app.delegate().clipboardHistory = test::textHistory(2);
  const auto historyFile = app.world.documentsDirectory() / "ClipboardHistory.data";
  std::vector<std::string> stylesAtTerminate;
  std::string historyAtTerminate;
  app.platform().simApplication().onTerminate = [&] {
    stylesAtTerminate = writesOf(app.world.defaults, "PreviewStyle");
    const auto saved = files::readWholeFile(historyFile);
    historyAtTerminate = saved ? textOf(saved.value()) : "";
  };
  ASSERT_TRUE(app.platform().openMenu());
  ASSERT_TRUE(app.platform().chooseMenuItem("Quit"));
  EXPECT_TRUE(app.platform().simApplication().hasTerminated());
  EXPECT_EQ(stylesAtTerminate, std::vector<std::string>{"Show always"});
  EXPECT_EQ(historyAtTerminate, encodeHistory(app.delegate().clipboardHistory).value());
  EXPECT_EQ(writesOf(app.world.defaults, "PreviewStyle"), (std::vector<std::string>{"Show always", "Show always"}));
}

TEST(QuitTest, QuittingAndTerminationBothSaveTheHistory) {
  for (const bool fromTheMenu : {true, false}) {
    test::SimApp app;
    app.launch();
    app.delegate().clipboardHistory = test::textHistory(3);
    if (fromTheMenu) {
      app.delegate().quitApp();
    } else {
      app.platform().application().terminate();
    }
    const auto saved = files::readWholeFile(app.world.documentsDirectory() / "ClipboardHistory.data");
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(textOf(saved.value()), encodeHistory(app.delegate().clipboardHistory).value());
  }
}

TEST(QuitTest, AnyTerminationSavesTheStyleOnce) {
  test::SimApp app;
  app.launch();
  app.delegate().previewStyle = PreviewStyle::hidden;
  app.platform().application().terminate();
  app.platform().application().terminate();  // delivered once only
  EXPECT_EQ(writesOf(app.world.defaults, "PreviewStyle"), std::vector<std::string>{"Hide"});
}

TEST(QuitTest, ARestartOnTheSameFoldersFindsWhatTheLastRunLeft) {
  test::SimApp app;
  app.launch();
  app.world.pasteboard.copyText("first");
  app.advance(0.5);
  app.delegate().previewStyle = PreviewStyle::hidden;
  const auto handled = app.world.defaults.integerForKey("LastChangeCount");

  app.restart();
  EXPECT_EQ(app.delegate().previewStyle, PreviewStyle::hidden);
  EXPECT_NE(app.statusItem(), nullptr);
  const size_t writesBefore = app.world.defaults.writes().size();
  app.advance(2);
  EXPECT_EQ(app.world.defaults.writes().size(), writesBefore);  // nothing new on the pasteboard
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), handled);

  // Copies made while the app was not running: only the last state counts, once.
  app.kill();
  app.world.pasteboard.copyText("second");
  app.world.pasteboard.copyText("third");
  app.launch();
  app.advance(0.5);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), handled + 2);
  EXPECT_EQ(writesOf(app.world.defaults, "LastChangeCount").size(), 2u);
  EXPECT_TRUE(std::filesystem::is_directory(app.world.documentsDirectory() / "ClipboardData"));
}

}  // namespace
}  // namespace bm
