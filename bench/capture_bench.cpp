#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <string>

#include "support/sim_app.h"

// Whole captures on the simulated platform with the real image codec and
// real files: the pasteboard change is read, stored files are written, the
// duplicate search runs and the history is saved.
namespace bm {
namespace {

// A 1920 x 1080 picture of its own for every seed: no two are byte-equal.
Bytes screenshotPng(int seed) {
  QImage image(1920, 1080, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) row[x] = qRgb((x + seed * 7) & 0xff, (y + seed * 13) & 0xff, (x ^ y) & 0xff);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG", 90);  // little compression: quick to make
  return Bytes(bytes.begin(), bytes.end());
}

// Takes the newest entry and its files away again, so that every iteration
// captures into the same history.
void dropNewest(test::SimApp& app) {
  auto& history = app.delegate().clipboardHistory;
  const ClipboardContent content = history.front().content;
  history.erase(history.begin());
  if (const auto* image = std::get_if<ImageContent>(&content)) app.delegate().persistenceManager->deleteFiles(image->storedFileId);
}

// Arg: how many 1920 x 1080 images the history holds already.
void BM_CaptureImage(benchmark::State& state) {
  test::SimApp app;
  app.launch();
  app.delegate().previewStyle = PreviewStyle::hidden;  // no popover per capture
  int seed = 0;
  for (int i = 0; i < state.range(0); ++i) {
    app.world.pasteboard.copyImage(screenshotPng(seed++), "public.png");
    app.delegate().checkClipboard();
  }
  for (auto _ : state) {
    state.PauseTiming();
    app.world.pasteboard.copyImage(screenshotPng(seed++), "public.png");
    state.ResumeTiming();
    app.delegate().checkClipboard();
    state.PauseTiming();
    if (app.delegate().clipboardHistory.size() != static_cast<size_t>(state.range(0) + 1))
      state.SkipWithError("the capture did not add one entry");
    dropNewest(app);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CaptureImage)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: the text's size in bytes, and whether it holds accented letters
// (ASCII-only texts skip Unicode normalization when compared).
void BM_CaptureText(benchmark::State& state) {
  test::SimApp app;
  app.launch();
  for (int i = 0; i < 50; ++i) {
    app.world.pasteboard.copyText("earlier copy " + std::to_string(i) + " " + std::string(1000, 'e'));
    app.delegate().checkClipboard();
  }
  const auto size = static_cast<size_t>(state.range(0));
  std::string text;
  const std::string pattern = state.range(1) ? "caf\u00e9 na\u00efve " : "plain text ";
  while (text.size() < size) text += pattern;
  text.resize(size);
  if (state.range(1)) text.resize(size - (size % pattern.size()));  // whole characters only
  int copy = 0;
  for (auto _ : state) {
    state.PauseTiming();
    app.world.pasteboard.copyText(std::to_string(copy++) + text);
    state.ResumeTiming();
    app.delegate().checkClipboard();
    state.PauseTiming();
    if (app.delegate().clipboardHistory.size() != 51) state.SkipWithError("the capture did not add one entry");
    dropNewest(app);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CaptureText)
    ->ArgsProduct({{100, 1 << 20, 10 << 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace bm
