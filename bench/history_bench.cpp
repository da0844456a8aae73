#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "model/clipboard_item.h"
#include "platform/sim/sim_services.h"
#include "shared/posix_file_system.h"
#include "storage/persistence_manager.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

constexpr int kEntries = 50;
constexpr std::int64_t kSmall = 50 * 1024;         // ~1 KB per entry
constexpr std::int64_t kLarge = 50 * 1024 * 1024;  // ~1 MB per entry

// Tokens chosen so the encoder meets every kind of escape and multi-byte UTF-8.
constexpr std::array<std::string_view, 40> kWords{
    "the",      "clipboard", "history",   "keeps",    "every",     "copy",      "and",          "a",
    "menu",     "entry",     "café",      "über",     "naïve",     "résumé",    "Grüße",        "中文",
    "文本",     "剪贴板",    "😀",        "🚀",       "👍🏽",       "\"quoted\"", "C:\\Users\\me", "\\n",
    "path/to",  "x = 1;",    "{\"k\": 2}", "O'Brien", "e-mail",    "100%",      "$HOME",        "<b>",
    "Zürich",   "señor",     "Ελληνικά",  "русский",  "日本語",    "it's",      "well-known",   "end"};
constexpr std::array<std::string_view, 8> kAfterWord{" ", " ", " ", " ", ", ", ". ", "; ", "! "};

// Deterministic text of at least `bytes` bytes, always whole UTF-8 sequences.
std::string makeText(std::mt19937& random, size_t bytes) {
  std::uniform_int_distribution<size_t> word(0, kWords.size() - 1);
  std::uniform_int_distribution<size_t> after(0, kAfterWord.size() - 1);
  std::uniform_int_distribution<int> line(0, 15);
  std::string text;
  text.reserve(bytes + 32);
  while (text.size() < bytes) {
    text += kWords[word(random)];
    const int breakKind = line(random);
    if (breakKind == 0) {
      text += '\n';
    } else if (breakKind == 1) {
      text += '\t';
    } else {
      text += kAfterWord[after(random)];
    }
  }
  return text;
}

// One history per total size, made once per process (the large one takes a while).
const std::vector<ClipboardItem>& history(std::int64_t totalBytes) {
  static std::map<std::int64_t, std::vector<ClipboardItem>> made;
  auto& items = made[totalBytes];
  if (items.empty()) {
    std::mt19937 random(20240601u + static_cast<unsigned>(totalBytes));
    for (int i = 0; i < kEntries; ++i) {
      std::string text = makeText(random, static_cast<size_t>(totalBytes / kEntries));
      std::string title = "Snippet " + std::to_string(i + 1) + ": " + std::string(kWords[i % kWords.size()]);
      items.push_back(ClipboardItem{Uuid::random(), Date{700'000'000.0 + i}, TextContent{std::move(text)},
                                    ItemType::text, std::move(title)});
    }
  }
  return items;
}

// A fresh documents directory, removed with its owner.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("brindlemux-history-bench-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Reports the first console line as the run's error; true when there was none.
bool quiet(benchmark::State& state, const sim::SimConsole& console) {
  if (console.lines().empty()) return true;
  state.SkipWithError(console.lines().front().c_str());
  return false;
}

std::string readAll(const fs::path& file) {
  std::string bytes;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// One saved history per size, shared by every run of every benchmark so
// repetitions do not pay the large history's first encoding again.
struct Fixture {
  explicit Fixture(std::int64_t totalBytes)
      : items(history(totalBytes)), manager(defaults, console, posixFileSystem(), dir.path()) {
    manager.saveHistory(items);
    bytes = readAll(file());
  }
  fs::path file() const { return dir.path() / manager.historyFileName; }
  std::int64_t size() const { return static_cast<std::int64_t>(bytes.size()); }

  const std::vector<ClipboardItem>& items;
  ScratchDirectory dir;
  sim::SimUserDefaults defaults;
  sim::SimConsole console;
  PersistenceManager manager;  // has saved `items` once: their texts are kept
  std::string bytes;           // the saved document
};

// The fixture, or null after reporting why it cannot serve.
Fixture* fixture(benchmark::State& state) {
  static std::map<std::int64_t, std::unique_ptr<Fixture>> made;
  auto& slot = made[state.range(0)];
  if (!slot) slot = std::make_unique<Fixture>(state.range(0));
  if (!quiet(state, slot->console)) return nullptr;
  if (slot->bytes.empty()) {
    state.SkipWithError("could not read the saved history");
    return nullptr;
  }
  return slot.get();
}

void BM_SaveHistory(benchmark::State& state) {
  Fixture* f = fixture(state);
  if (!f) return;
  for (auto _ : state) f->manager.saveHistory(f->items);
  if (!quiet(state, f->console)) return;
  state.SetBytesProcessed(state.iterations() * f->size());
}

void BM_SaveHistoryFirstTime(benchmark::State& state) {
  Fixture* f = fixture(state);
  if (!f) return;
  std::unique_ptr<PersistenceManager> manager;
  for (auto _ : state) {
    // Freeing the previous manager's kept texts is not part of a first save.
    state.PauseTiming();
    manager.reset();
    manager = std::make_unique<PersistenceManager>(f->defaults, f->console, posixFileSystem(), f->dir.path());
    state.ResumeTiming();
    manager->saveHistory(f->items);
  }
  if (!quiet(state, f->console)) return;
  state.SetBytesProcessed(state.iterations() * f->size());
}

// The least a durable replace can cost: the same bytes and the same flushes.
void BM_SaveRawReference(benchmark::State& state) {
  Fixture* f = fixture(state);
  if (!f) return;
  const fs::path file = f->file();
  const fs::path temporary = fs::path(file) += ".tmp";
  const std::string& bytes = f->bytes;
  for (auto _ : state) {
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
      state.SkipWithError("open failed");
      break;
    }
    size_t done = 0;
    bool failed = false;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed = true;
        break;
      }
      done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) failed = true;
    if (::close(fd) != 0) failed = true;
    if (::rename(temporary.c_str(), file.c_str()) != 0) failed = true;
    const int dirFd = ::open(f->dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0 || ::fsync(dirFd) != 0) failed = true;
    if (dirFd >= 0) ::close(dirFd);
    if (failed) {
      state.SkipWithError("raw write failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * f->size());
}

void BM_LoadHistory(benchmark::State& state) {
  Fixture* f = fixture(state);
  if (!f) return;
  for (auto _ : state) {
    PersistenceManager manager(f->defaults, f->console, posixFileSystem(), f->dir.path());
    auto loaded = manager.loadHistory();
    benchmark::DoNotOptimize(loaded.data());
    if (loaded.size() != f->items.size()) {
      if (quiet(state, f->console)) state.SkipWithError("loaded a different number of entries");
      break;
    }
  }
  if (!quiet(state, f->console)) return;
  state.SetBytesProcessed(state.iterations() * f->size());
}

// The least a load can cost: the file's bytes in memory, undecoded.
void BM_LoadRawReference(benchmark::State& state) {
  Fixture* f = fixture(state);
  if (!f) return;
  const fs::path file = f->file();
  for (auto _ : state) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
      if (fd >= 0) ::close(fd);
      state.SkipWithError("open failed");
      break;
    }
    // A fresh buffer each time, as a load makes one.
    const auto length = static_cast<size_t>(info.st_size);
    std::unique_ptr<char[]> buffer(new char[length]);
    size_t done = 0;
    while (done < length) {
      const ssize_t n = ::read(fd, buffer.get() + done, length - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(buffer.get());
    if (done != length) {
      state.SkipWithError("short read");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * f->size());
}

// Real time: a save mostly waits on fsync. The large history gets a fixed
// count so the whole file runs in seconds.
#define BM_HISTORY_SIZES(fn)                                                               \
  BENCHMARK(fn)->Arg(kSmall)->MinTime(0.1)->Unit(benchmark::kMillisecond)->UseRealTime(); \
  BENCHMARK(fn)->Arg(kLarge)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime()

BM_HISTORY_SIZES(BM_SaveHistory);
BM_HISTORY_SIZES(BM_SaveHistoryFirstTime);
BM_HISTORY_SIZES(BM_SaveRawReference);
BM_HISTORY_SIZES(BM_LoadHistory);
BM_HISTORY_SIZES(BM_LoadRawReference);

}  // namespace
}  // namespace bm
