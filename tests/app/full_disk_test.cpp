#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "model/history_codec.h"
#include "shared/files.h"
#include "support/history_entries.h"
#include "support/sim_app.h"
#include "support/test_images.h"

// The disk fills up under the running application, at every write in turn:
// each failed history save and data-file write says so once, the file on
// disk stays the last one saved, and once there is room again the next
// change saves everything held meanwhile.
namespace bm {
namespace {
namespace fs = std::filesystem;

// One run of the application on a disk that can fill up.
class FullDiskRun {
 public:
  FullDiskRun() { app.launch(); }

  std::vector<ClipboardItem>& history() { return app.delegate().clipboardHistory; }
  fs::path historyFile() { return app.world.documentsDirectory() / "ClipboardHistory.data"; }
  fs::path dataFile(const ClipboardItem& entry) {
    return app.world.documentsDirectory() / "ClipboardData" / storedFileIdOf(entry.content)->uuidString();
  }
  std::string savedDocument() {
    const auto bytes = files::readWholeFile(historyFile());
    return bytes ? textOf(bytes.value()) : "<unreadable: " + bytes.error().description + ">";
  }
  // The lines one change should print, judged from what reached the disk.
  std::vector<std::string> expectedLines(const std::vector<ClipboardItem>& before) {
    std::vector<std::string> lines;
    const bool newEntry = !history().empty() && (before.empty() || history()[0].id != before[0].id);
    if (newEntry && storedFileIdOf(history()[0].content) && !fs::exists(dataFile(history()[0])))
      lines.push_back("Failed to save data file: No space left on device: " + dataFile(history()[0]).string());
    if (savedDocument() != encodeHistory(history()).value())
      lines.push_back("Failed to save clipboard history: No space left on device: " + historyFile().string() + ".tmp");
    return lines;
  }
  void chooseEntry(const std::string& title) {
    for (const auto& item : app.statusItem()->menu()->items())
      if (item.title() == title) return item.action()(MenuItem(item));
    ADD_FAILURE() << "no entry " << title;
  }
  // Whether each entry with a data file has it.
  std::map<std::string, bool> dataFilesPresent() {
    std::map<std::string, bool> present;
    for (const auto& entry : history())
      if (storedFileIdOf(entry.content)) present[entry.id.uuidString()] = fs::exists(dataFile(entry));
    return present;
  }

  test::SimApp app;
  sim::SimPasteboard& pasteboard = app.world.pasteboard;
};

TEST(FullDiskTest, EveryFailedWriteSaysSoOnceAndNothingHeldIsLost) {
  int missingDataFiles = 0;
  for (int fullAt = 1; fullAt <= 8; ++fullAt) {
    SCOPED_TRACE("the disk fills at write " + std::to_string(fullAt));
    FullDiskRun run;
    auto& pasteboard = run.pasteboard;
    pasteboard.copyText("before, text");
    run.app.advance(0.5);
    pasteboard.copyImage(test::stripes(4, 4), "public.png");
    run.app.advance(0.5);
    ASSERT_TRUE(run.app.console().empty());

    // Each change saves the history once.
    const auto copy = [&](std::function<void()> copying) {
      return [&run, copying] {
        copying();
        run.app.advance(0.5);
      };
    };
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"text", copy([&] { pasteboard.copyText("while full"); })},
        {"image", copy([&] { pasteboard.copyImage(test::stripes(12, 8), "public.png"); })},
        {"data", copy([&] { pasteboard.copyItems({{{"com.example.x", bytesOf("custom bytes")}}}); })},
        // Chosen by hand, to look in before the restored text comes round.
        {"restore", [&] { run.chooseEntry("before, text"); }},
        {"the restored text comes round", [&] { run.app.advance(0.5); }},
        {"duplicate image", copy([&] { pasteboard.copyImage(test::stripes(12, 8), "public.png"); })},
    };
    run.app.world.fileSystem.fillUpAtWrite(fullAt);
    for (const auto& [name, change] : changes) {
      SCOPED_TRACE(name);
      const auto before = run.history();
      const size_t printed = run.app.console().size();
      change();
      const std::vector<std::string> lines(run.app.console().begin() + static_cast<long>(printed),
                                           run.app.console().end());
      EXPECT_EQ(lines, run.expectedLines(before));
      EXPECT_FALSE(fs::exists(run.historyFile().string() + ".tmp"));
      ASSERT_TRUE(decodeHistory(run.savedDocument()).ok());
    }
    EXPECT_GT(run.app.world.fileSystem.writesFailed(), 0);
    const auto present = run.dataFilesPresent();
    for (const auto& [id, there] : present) missingDataFiles += there ? 0 : 1;

    // Room again: the next change saves every entry held, in order, and a
    // new process finds them and the same data files.
    run.app.world.fileSystem.makeRoom();
    const auto held = run.history();
    pasteboard.copyText("after");
    run.app.advance(0.5);
    ASSERT_EQ(run.history().size(), held.size() + 1);
    EXPECT_EQ(run.savedDocument(), encodeHistory(run.history()).value());
    const auto saved = run.history();
    run.app.kill();
    run.app.launch();
    test::expectSameEntries(run.history(), saved);
    EXPECT_EQ(run.dataFilesPresent(), present);
    EXPECT_TRUE(run.app.console().empty());
  }
  // Some runs filled up at a data file's write.
  EXPECT_GT(missingDataFiles, 0);
}

}  // namespace
}  // namespace bm
