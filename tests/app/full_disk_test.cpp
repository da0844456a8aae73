#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "model/history_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
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

// The changes below make 13 writes; the disk fills up at each in turn, and
// stays full or has room again at once. A failed bookmark or thumbnail
// write prints nothing.
TEST(FullDiskTest, EveryFailedWriteSaysSoOnceAndNothingHeldIsLost) {
  int missingDataFiles = 0;
  for (int round = 0; round < 2 * 13; ++round) {
    const bool staysFull = round < 13;
    const int failAt = round % 13 + 1;
    SCOPED_TRACE(std::string(staysFull ? "the disk fills at write " : "only this write fails: ") +
                 std::to_string(failAt));
    FullDiskRun run;
    auto& pasteboard = run.pasteboard;
    const fs::path copiedFile = run.app.world.home() / "copied.txt";
    ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), copiedFile, bytesOf("copied")));
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
        {"a file", copy([&] { pasteboard.copyFiles({copiedFile}); })},
        // Chosen by hand, to look in before the restored text comes round.
        {"restore", [&] { run.chooseEntry("before, text"); }},
        {"the restored text comes round", [&] { run.app.advance(0.5); }},
        {"duplicate image", copy([&] { pasteboard.copyImage(test::stripes(12, 8), "public.png"); })},
    };
    const long writesBefore = run.app.world.fileSystem.writesAttempted();
    if (staysFull)
      run.app.world.fileSystem.fillUpAtWrite(failAt);
    else
      run.app.world.fileSystem.failOneWrite(failAt);
    for (const auto& [name, change] : changes) {
      SCOPED_TRACE(name);
      const auto before = run.history();
      const std::string documentBefore = run.savedDocument();
      const size_t printed = run.app.console().size();
      change();
      const std::vector<std::string> lines(run.app.console().begin() + static_cast<long>(printed),
                                           run.app.console().end());
      EXPECT_EQ(lines, run.expectedLines(before));
      EXPECT_FALSE(fs::exists(run.historyFile().string() + ".tmp"));
      // A failed save leaves the last saved document as it was.
      if (run.savedDocument() != encodeHistory(run.history()).value()) {
        EXPECT_EQ(run.savedDocument(), documentBefore);
      }
    }
    const long writesMade = run.app.world.fileSystem.writesAttempted() - writesBefore;
    EXPECT_EQ(writesMade, 13);
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
