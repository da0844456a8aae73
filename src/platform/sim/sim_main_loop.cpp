#include "platform/sim/sim_main_loop.h"

#include <algorithm>
#include <cmath>

namespace bm::sim {

class SimMainLoop::SimTimer : public Timer {
 public:
  void invalidate() override { valid_ = false; }
  bool isValid() const override { return valid_; }

 private:
  bool valid_ = true;
};

std::shared_ptr<Timer> SimMainLoop::scheduleTimer(double interval, bool repeats,
                                                  std::function<void(Timer&)> block) {
  auto timer = std::make_shared<SimTimer>();
  entries_.push_back(std::make_shared<Entry>(Entry{nextSequence_++, clock_.secondsSinceReferenceDate + interval,
                                                   interval, repeats, true, timer, std::move(block), {}}));
  return timer;
}

void SimMainLoop::dispatchAfter(double seconds, std::function<void()> block) {
  entries_.push_back(std::make_shared<Entry>(
      Entry{nextSequence_++, clock_.secondsSinceReferenceDate + seconds, 0, false, false, nullptr, {}, std::move(block)}));
}

void SimMainLoop::advance(double seconds) {
  const double until = clock_.secondsSinceReferenceDate + seconds;
  while (runNextDue(until)) {
  }
  clock_.secondsSinceReferenceDate = std::max(clock_.secondsSinceReferenceDate, until);
}

void SimMainLoop::setTracking(bool tracking) { tracking_ = tracking; }

size_t SimMainLoop::pendingCount() const {
  return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(), [](const auto& entry) {
    return !entry->timer || entry->timer->isValid();
  }));
}

bool SimMainLoop::runNextDue(double until) {
  std::erase_if(entries_, [](const auto& entry) { return entry->timer && !entry->timer->isValid(); });
  std::shared_ptr<Entry> next;
  for (const auto& entry : entries_) {
    if (entry->due > until || (tracking_ && entry->defaultMode)) continue;
    if (!next || std::tie(entry->due, entry->sequence) < std::tie(next->due, next->sequence)) next = entry;
  }
  if (!next) return false;

  double& now = clock_.secondsSinceReferenceDate;
  now = std::max(now, next->due);
  if (next->repeats) {
    // Like a run-loop timer, a late repeating timer fires once and keeps its grid.
    const double missed = std::floor((now - next->due) / next->interval) + 1;
    next->due += missed * next->interval;
  } else {
    std::erase(entries_, next);
  }
  if (next->timer) {
    next->timerBlock(*next->timer);
    if (!next->repeats) next->timer->invalidate();
  } else {
    next->block();
  }
  return true;
}

}  // namespace bm::sim
