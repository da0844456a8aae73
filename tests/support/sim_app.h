#pragma once

#include <memory>

#include "app/app_delegate.h"
#include "platform/sim/sim_platform.h"

namespace bm::test {

// A whole application on the simulated platform: launch it, drive it, quit
// it, and launch it again on the same world.
class SimApp {
 public:
  sim::SimWorld world;

  // Starts a new process on the world and runs the process entry.
  void launch() {
    platform_ = std::make_unique<sim::SimPlatform>(world);
    exitStatus_ = runApplication(*platform_);
  }
  // Ends the process without termination, as a crash or a kill would.
  void kill() { platform_.reset(); }
  // Quits in order (termination is delivered), then starts again.
  void restart() {
    platform_->application().terminate();
    launch();
  }

  sim::SimPlatform& platform() { return *platform_; }
  AppDelegate& delegate() { return *platform_->processWideIfMade<AppDelegate>(); }
  int exitStatus() const { return exitStatus_; }
  void advance(double seconds) { platform_->advance(seconds); }
  std::shared_ptr<sim::SimStatusItem> statusItem() { return platform_->statusItem(); }
  const std::vector<std::string>& console() { return platform_->consoleLines(); }

 private:
  std::unique_ptr<sim::SimPlatform> platform_;
  int exitStatus_ = -1;
};

}  // namespace bm::test
