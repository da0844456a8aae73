#pragma once

#include <cmath>
#include <functional>
#include <memory>

#include "platform/qt/qt_main_loop.h"
#include "platform/sim/sim_platform.h"
#include "platform/qt/pump.h"

namespace bm::contract {

// Each adaptor gives a MainLoop, a way to let time pass, and the menu
// opening and closing as its platform's status item reports them.

// Virtual time; the menu is the simulated status item's own.
class SimMainLoopAdaptor {
 public:
  static constexpr const char* kName = "Sim";

  SimMainLoopAdaptor() {
    auto menu = std::make_shared<Menu>();
    menu->addItemWithTitle("Quit", [](const MenuItem&) {}, "q");
    item_->setMenu(menu);
  }
  MainLoop& loop() { return platform_.mainLoop(); }
  void advance(double seconds) { platform_.advance(seconds); }
  // Advances in small steps until `done` holds, at most `seconds`.
  bool advanceUntil(double seconds, const std::function<bool()>& done) {
    for (double waited = 0; waited < seconds && !done(); waited += 0.001) platform_.advance(0.001);
    return done();
  }
  void setMenuShown(bool shown) {
    if (shown)
      platform_.openMenu();
    else
      platform_.closeMenu();
  }

 private:
  sim::SimWorld world_;
  sim::SimPlatform platform_{world_};
  std::shared_ptr<StatusItem> item_ = platform_.systemStatusBar().statusItemWithLength(StatusBar::kVariableLength);
};

// Real time on Qt's event loop; the tray item tells the loop when its menu
// shows and hides, as done here.
class QtMainLoopAdaptor {
 public:
  static constexpr const char* kName = "Qt";

  MainLoop& loop() { return loop_; }
  void advance(double seconds) { qt::test::pump(milliseconds(seconds)); }
  bool advanceUntil(double seconds, const std::function<bool()>& done) {
    return qt::test::pump(milliseconds(seconds), done);
  }
  void setMenuShown(bool shown) { loop_.setTracking(shown); }

 private:
  static int milliseconds(double seconds) { return static_cast<int>(std::lround(seconds * 1000)); }

  qt::QtMainLoop loop_;
};

}  // namespace bm::contract
