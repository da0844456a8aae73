#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/main_loop.h"

namespace bm::sim {

// The main loop on a virtual clock. Nothing runs until the test advances
// time; then due timers and blocks run in time order (ties in scheduling
// order). While a menu is tracked, default-mode timers wait.
class SimMainLoop : public MainLoop {
 public:
  // `clock` is the world's date; the loop moves it forward.
  explicit SimMainLoop(Date& clock) : clock_(clock) {}

  std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> block) override;
  void dispatchAfter(double seconds, std::function<void()> block) override;
  Date now() const override { return clock_; }

  // Runs everything that comes due within `seconds`, then sets the clock to the end.
  void advance(double seconds);
  // Menu tracking: default-mode timers are held back while it is on; those
  // that came due meanwhile run at the next advance, advance(0) included.
  void setTracking(bool tracking);
  bool isTracking() const { return tracking_; }
  // Scheduled, still valid timers and pending blocks.
  size_t pendingCount() const;

 private:
  class SimTimer;
  struct Entry {
    std::uint64_t sequence;
    double due;  // seconds since the reference date
    double interval;
    bool repeats;
    bool defaultMode;
    std::shared_ptr<SimTimer> timer;  // null for dispatched blocks
    std::function<void(Timer&)> timerBlock;
    std::function<void()> block;
  };

  bool runNextDue(double until);

  Date& clock_;
  bool tracking_ = false;
  std::uint64_t nextSequence_ = 0;
  std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace bm::sim
