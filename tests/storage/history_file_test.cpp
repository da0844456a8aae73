#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/history_codec.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "platform/sim/sim_platform.h"
#include "storage/persistence_manager.h"
#include "support/history_entries.h"
#include "support/sim_app.h"

namespace bm {
namespace {
namespace fs = std::filesystem;
using test::expectSameEntries;

std::string readText(const fs::path& file) {
  auto bytes = files::readWholeFile(file);
  return bytes ? textOf(bytes.value()) : "<unreadable: " + bytes.error().description + ">";
}

void writeText(const fs::path& file, std::string_view text) {
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), file, bytesOf(text)).ok()) << file;
}

std::string documentOf(const std::vector<ClipboardItem>& items) { return encodeHistory(items).value(); }

class HistoryFileTest : public ::testing::Test {
 protected:
  // A new process on the same world, with a manager of its own.
  std::shared_ptr<PersistenceManager> nextProcess() {
    platform = std::make_unique<sim::SimPlatform>(world);
    return PersistenceManager::shared(*platform);
  }
  const std::vector<std::string>& console() { return platform->consoleLines(); }

  sim::SimWorld world;
  std::unique_ptr<sim::SimPlatform> platform = std::make_unique<sim::SimPlatform>(world);
  std::shared_ptr<PersistenceManager> manager = PersistenceManager::shared(*platform);
  fs::path file = world.documentsDirectory() / "ClipboardHistory.data";
  fs::path temporary = world.documentsDirectory() / "ClipboardHistory.data.tmp";
};

TEST_F(HistoryFileTest, SavingWritesTheNewestFiftyAndLeavesTheHistoryAlone) {
  const auto items = test::textHistory(60);
  manager->saveHistory(items);
  EXPECT_EQ(items.size(), 60u);
  EXPECT_EQ(readText(file), documentOf({items.begin(), items.begin() + 50}));
  EXPECT_FALSE(fs::exists(temporary));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  expectSameEntries(nextProcess()->loadHistory(), {items.begin(), items.begin() + 50});
  EXPECT_TRUE(console().empty());
}

TEST_F(HistoryFileTest, EveryKindOfEntrySurvivesARestart) {
  const std::vector<ClipboardItem> items = {
      test::textEntry("newest"), test::imageEntry(), test::fileEntry({"/a", "/b c"}, {Bytes{1}, Bytes{2, 3}}),
      test::dataEntry(), test::textEntry("line\nbreak \"and\" \\ 🎉")};
  manager->saveHistory(items);
  auto loaded = nextProcess()->loadHistory();
  expectSameEntries(loaded, items);
  EXPECT_FALSE(PersistenceManager::shared(*platform)->hasUnreadableHistory());
  EXPECT_TRUE(console().empty());
}

TEST_F(HistoryFileTest, AnEmptyHistoryIsAnEmptyArrayAndAMissingFileIsNoHistory) {
  EXPECT_TRUE(manager->loadHistory().empty());
  EXPECT_FALSE(manager->hasUnreadableHistory());
  manager->saveHistory({});
  EXPECT_EQ(readText(file), "[]");
  EXPECT_TRUE(nextProcess()->loadHistory().empty());
  EXPECT_TRUE(console().empty());
}

TEST_F(HistoryFileTest, AHandWrittenFileOfSeventyEntriesLoadsWhole) {
  const auto items = test::textHistory(70);
  writeText(file, documentOf(items));
  const auto loaded = manager->loadHistory();
  expectSameEntries(loaded, items);
  manager->saveHistory(loaded);
  expectSameEntries(nextProcess()->loadHistory(), {items.begin(), items.begin() + 50});
}

// What each save writes is what encoding the whole history afresh gives,
// however the history changed since the last save.
TEST_F(HistoryFileTest, KeptEncodingsWriteTheSameBytesAsEncodingAfresh) {
  auto history = test::textHistory(55);
  const Uuid shared = Uuid::random();
  const std::vector<std::function<void()>> changes = {
      [&] {},
      [&] { history.insert(history.begin(), test::imageEntry()); },
      [&] { std::rotate(history.begin(), history.begin() + 30, history.begin() + 31); },  // restored to the top
      [&] { history.erase(history.begin() + 3); },                                        // replaced by a duplicate
      [&] { std::rotate(history.begin(), history.begin() + 52, history.begin() + 53); },  // from beyond the fiftieth
      [&] {  // a hand-edited file may give two different entries one id
        history.insert(history.begin(), {shared, Date{1}, TextContent{"one"}, ItemType::text, "one"});
        history.insert(history.begin() + 2, {shared, Date{2}, TextContent{"two"}, ItemType::text, "two"});
      },
      [&] { history.erase(history.begin()); },  // only "two" holds the id now
      [&] { history.insert(history.begin(), {shared, Date{3}, TextContent{"three"}, ItemType::text, "three"}); },
      [&] { history.clear(); },
      [&] { history = test::textHistory(3); },
  };
  for (size_t step = 0; step < changes.size(); ++step) {
    changes[step]();
    manager->saveHistory(history);
    const size_t written = std::min<size_t>(history.size(), 50);
    EXPECT_EQ(readText(file), documentOf({history.begin(), history.begin() + written})) << "after change " << step;
  }
  EXPECT_TRUE(console().empty());
}

TEST_F(HistoryFileTest, AFailedSaveLeavesTheOldFileWholeAndNoTemporaryFile) {
  const auto old = test::textHistory(2);
  manager->saveHistory(old);
  const std::string before = readText(file);

  // Text that is not UTF-8 cannot be encoded: nothing is written.
  const auto bad = test::textEntry("\xff");
  manager->saveHistory({test::textEntry("new"), bad});
  ASSERT_EQ(console().size(), 1u);
  EXPECT_TRUE(console()[0].starts_with("Failed to save clipboard history: the entry " + bad.id.uuidString() +
                                       " cannot be saved: invalid UTF-8 byte"))
      << console()[0];
  EXPECT_EQ(readText(file), before);

  // A write that fails half way, as on a full disk.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  rlimit limit{}, saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  manager->saveHistory({test::textEntry(std::string(100000, 'x'))});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  ASSERT_EQ(console().size(), 2u);
  EXPECT_EQ(console()[1], "Failed to save clipboard history: File too large: " + temporary.string());
  EXPECT_EQ(readText(file), before);
  EXPECT_FALSE(fs::exists(temporary));

  // A directory where the file belongs.
  fs::remove(file);
  fs::create_directory(file);
  writeText(file / "inside", "kept");
  manager->saveHistory(old);
  ASSERT_EQ(console().size(), 3u);
  EXPECT_EQ(console()[2], "Failed to save clipboard history: Is a directory: " + file.string());
  EXPECT_EQ(readText(file / "inside"), "kept");
  EXPECT_FALSE(fs::exists(temporary));

  // The documents folder gone: nothing to write into.
  fs::remove_all(world.documentsDirectory());
  manager->saveHistory(old);
  ASSERT_EQ(console().size(), 4u);
  EXPECT_EQ(console()[3], "Failed to save clipboard history: No such file or directory: " + temporary.string());
}

TEST_F(HistoryFileTest, SavingNeverWritesThroughALinkLeftAtTheTemporaryName) {
  const fs::path other = world.home() / "other";
  for (const bool hard : {true, false}) {
    writeText(other, "someone else's");
    hard ? fs::create_hard_link(other, temporary) : fs::create_symlink(other, temporary);
    manager->saveHistory(test::textHistory(1));
    EXPECT_EQ(readText(other), "someone else's") << (hard ? "hard link" : "symbolic link");
    EXPECT_FALSE(fs::exists(temporary));
  }
  EXPECT_TRUE(console().empty());
}

// A save killed at any moment leaves either the old or the new document.
// A save killed at any moment leaves either the old or the new document.
TEST_F(HistoryFileTest, AKilledSaveLeavesTheOldOrTheNewDocument) {
  std::vector<ClipboardItem> large;
  for (int i = 0; i < 8; ++i) large.push_back(test::textEntry(std::string(1 << 20, static_cast<char>('a' + i))));
  auto reordered = large;  // a restore: the same entries, so nothing is encoded again
  std::swap(reordered[0], reordered[1]);
  manager->saveHistory(large);  // the child inherits the encoded entries: its time goes into writing
  const std::string documents[] = {documentOf(large), documentOf(reordered)};
  const auto size = static_cast<std::uintmax_t>(documents[0].size());
  const auto partlyWritten = [&](const fs::path& path) {
    std::error_code error;
    const auto bytes = fs::file_size(path, error);
    return !error && bytes > 0 && bytes < size;
  };

  for (int round = 0; round < 10; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        manager->saveHistory(reordered);
        manager->saveHistory(large);
      }
    }
    if (round % 2 == 0) {
      // In the middle of a write, whichever file it goes to.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!partlyWritten(file) && !partlyWritten(temporary) && std::chrono::steady_clock::now() < deadline) {
      }
    } else {
      ::usleep(static_cast<useconds_t>(round * 5000));  // any other moment: flushing, renaming
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string left = readText(file);
    EXPECT_TRUE(left == documents[0] || left == documents[1])
        << "round " << round << ": " << left.size() << " bytes, neither document";
  }
}

// Broken files: each launch gives an empty history and one line, keeps the
// file aside and removes no stored file.
TEST(BrokenHistoryFileTest, IsKeptAsideWithOneLineAndNothingElseIsLost) {
  const std::string good = documentOf({test::textEntry("good")});
  const std::string entry = good.substr(1, good.size() - 2);
  struct Case {
    const char* name;
    std::string content;  // empty with `directory`: a directory stands there
    std::string cause;    // the description after "Failed to load clipboard history: "
    bool directory = false;
  };
  const Case cases[] = {
      {"zero bytes", "",
       "invalid JSON at byte 0: syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
       "literal"},
      {"an object instead of an array", "{\"id\":1}", "the document: expected an array of entries, found an object"},
      {"one bad entry among many", "[" + entry + "," + entry + ",{}," + entry + "]",
       "entry at index 2, key \"id\": expected a UUID string, found nothing (the key is missing)"},
      {"a wrong JSON type", "[" + std::string(entry).replace(entry.find("\"good\""), 6, "42") + "]",
       "entry at index 0, key \"content\" > \"value\": expected a string, found the number 42"},
      {"invalid UTF-8", "[\"\xc3\x28\"]",
       "invalid JSON at byte 3: syntax error while parsing value - invalid string: ill-formed UTF-8 byte"},
      {"a lone escaped surrogate", "[\"\\udc00\"]",
       "invalid JSON at byte 7: syntax error while parsing value - invalid string: surrogate U+DC00..U+DFFF must "
       "follow U+D800..U+DBFF"},
      {"a bad UUID", "[" + std::string(entry).replace(8, 1, "g") + "]",
       "entry at index 0, key \"id\": expected a UUID string, found the string \"" +
           std::string(entry.substr(7, 36)).replace(1, 1, "g") + "\""},
      {"bad Base64",
       "[" + std::string(entry).replace(entry.find("{\"type\":\"text\""),
                                        entry.find("},\"type\"") - entry.find("{\"type\":\"text\"") + 1,
                                        R"({"type":"file","value":["/a"],"bookmarks":["Zm9v="]})") + "]",
       "entry at index 0, key \"content\" > \"bookmarks\" > index 0: expected a Base64 string, found the string "
       "\"Zm9v=\""},
      {"a huge number", "[1e400]", "invalid JSON at byte 5: number overflow parsing"},
      {"deep nesting", std::string(100000, '[') + std::string(100000, ']'),
       "entry at index 0: expected an object, found an array"},
      {"a directory", "", "Is a directory: ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimApp app;
    const fs::path documents = app.world.documentsDirectory();
    const fs::path file = documents / "ClipboardHistory.data";
    const fs::path aside = documents / "ClipboardHistory.data.unreadable";
    const std::string stored = Uuid::random().uuidString();
    for (const char* dir : {"ClipboardData", "ClipboardThumbnails"}) {
      fs::create_directories(documents / dir);
      writeText(documents / dir / stored, "stored");
    }
    if (c.directory) {
      fs::create_directory(file);
      writeText(file / "inside", "kept");
    } else {
      writeText(file, c.content);
    }

    app.launch();
    EXPECT_TRUE(app.delegate().clipboardHistory.empty());
    const std::string cause = c.directory ? c.cause + file.string() : c.cause;
    EXPECT_EQ(app.console(), std::vector<std::string>{"Failed to load clipboard history: " + cause +
                                                      " (the file is kept as " + aside.string() + ")"});
    EXPECT_FALSE(fs::exists(file));
    if (c.directory) {
      EXPECT_EQ(readText(aside / "inside"), "kept");
    } else {
      EXPECT_EQ(readText(aside), c.content);
    }
    EXPECT_TRUE(fs::exists(documents / "ClipboardData" / stored));
    EXPECT_TRUE(fs::exists(documents / "ClipboardThumbnails" / stored));

    // The next save writes a fresh file beside the kept one.
    app.restart();
    EXPECT_EQ(readText(file), "[]");
    EXPECT_TRUE(fs::exists(aside));
  }
}

TEST(BrokenHistoryFileTest, LaterBrokenFilesGetNumbersAndNeverReplaceAnEarlierOne) {
  test::SimApp app;
  const fs::path documents = app.world.documentsDirectory();
  const fs::path file = documents / "ClipboardHistory.data";
  writeText(documents / "ClipboardHistory.data.unreadable.1", "kept by hand");
  const std::pair<const char*, const char*> expected[] = {
      {"first", "ClipboardHistory.data.unreadable"},
      {"second", "ClipboardHistory.data.unreadable.2"},
      {"third", "ClipboardHistory.data.unreadable.3"},
  };
  for (const auto& [content, name] : expected) {
    writeText(file, content);
    app.launch();
    ASSERT_EQ(app.console().size(), 1u);
    EXPECT_TRUE(app.console()[0].ends_with("(the file is kept as " + (documents / name).string() + ")"))
        << app.console()[0];
    app.kill();
  }
  for (const auto& [content, name] : expected) EXPECT_EQ(readText(documents / name), content);
  EXPECT_EQ(readText(documents / "ClipboardHistory.data.unreadable.1"), "kept by hand");
}

}  // namespace
}  // namespace bm
