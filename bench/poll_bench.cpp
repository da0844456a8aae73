#include <benchmark/benchmark.h>

#include "support/sim_app.h"

namespace bm {
namespace {

// A poll that sees no change: one change-count read and one defaults read.
void BM_PollWithoutChange(benchmark::State& state) {
  test::SimApp app;
  app.launch();
  app.world.pasteboard.copyText("x");
  app.advance(0.5);
  for (auto _ : state) app.delegate().checkClipboard();
}
BENCHMARK(BM_PollWithoutChange);

}  // namespace
}  // namespace bm
