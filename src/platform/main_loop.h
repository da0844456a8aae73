#pragma once

#include <functional>
#include <memory>

#include "platform/date.h"

namespace bm {

class Timer {
 public:
  virtual ~Timer() = default;
  // Stops the timer; its block never runs again, not even when already due.
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

// The main thread's run loop and dispatch queue. Everything runs on it.
class MainLoop {
 public:
  virtual ~MainLoop() = default;

  // Schedules `block` every `interval` seconds (or once) in the default mode:
  // while a menu is open the timer waits, and fires once as soon as the menu
  // closes if it came due meanwhile. The loop keeps the timer until it is
  // invalidated or, if not repeating, has fired.
  virtual std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats,
                                               std::function<void(Timer&)> block) = 0;

  // Runs `block` once, `seconds` from now, in every mode (also while a menu is open).
  virtual void dispatchAfter(double seconds, std::function<void()> block) = 0;

  // The current date.
  virtual Date now() const = 0;
};

}  // namespace bm
