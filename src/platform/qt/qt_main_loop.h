#pragma once

#include <memory>
#include <vector>

#include "platform/main_loop.h"

namespace bm::qt {

// Timers and delayed blocks on Qt's event loop. Qt keeps firing timers while
// a menu is open; default-mode timers are held back here instead, and fire
// once when the menu closes if they came due meanwhile.
class QtMainLoop : public MainLoop {
 public:
  QtMainLoop();
  ~QtMainLoop() override;

  std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> block) override;
  void dispatchAfter(double seconds, std::function<void()> block) override;
  Date now() const override;

  // Told by the status menu when it opens and closes.
  void setTracking(bool tracking);

 private:
  class QtTimer;
  void forget(QtTimer* timer);

  bool tracking_ = false;
  std::vector<std::shared_ptr<QtTimer>> timers_;  // scheduled and valid
};

}  // namespace bm::qt
