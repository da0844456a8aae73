#include "platform/qt/qt_main_loop.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace bm::qt {

class QtMainLoop::QtTimer : public Timer {
 public:
  QtTimer(QtMainLoop& loop, double interval, bool repeats, std::function<void(Timer&)> block)
      : loop_(loop), repeats_(repeats), block_(std::move(block)), timer_(new QTimer) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(!repeats);
    timer_->setInterval(static_cast<int>(std::lround(interval * 1000)));
    QObject::connect(timer_, &QTimer::timeout, [this] { onTimeout(); });
    timer_->start();
  }
  ~QtTimer() override { timer_->deleteLater(); }  // may be inside its own timeout

  void invalidate() override {
    if (!valid_) return;
    valid_ = false;
    timer_->stop();
    loop_.forget(this);  // may destroy this
  }
  bool isValid() const override { return valid_; }

  // Fires the block if it came due while a menu was open.
  void fireIfMissed() {
    if (!missed_ || !valid_) return;
    missed_ = false;
    fire();
  }

 private:
  void onTimeout() {
    if (!valid_) return;
    if (loop_.tracking_) {
      missed_ = true;
      return;
    }
    fire();
  }

  void fire() {
    // Keep this alive through the block, which may invalidate it.
    auto self = loop_.find(this);
    block_(*this);
    if (!repeats_) invalidate();
  }

  QtMainLoop& loop_;
  bool repeats_;
  std::function<void(Timer&)> block_;
  QTimer* timer_;
  bool valid_ = true;
  bool missed_ = false;
};

QtMainLoop::QtMainLoop() = default;

QtMainLoop::~QtMainLoop() {
  for (auto& timer : std::vector(timers_)) timer->invalidate();
}

std::shared_ptr<Timer> QtMainLoop::scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> block) {
  auto timer = std::make_shared<QtTimer>(*this, interval, repeats, std::move(block));
  timers_.push_back(timer);
  return timer;
}

void QtMainLoop::dispatchAfter(double seconds, std::function<void()> block) {
  QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000)), Qt::PreciseTimer, QCoreApplication::instance(),
                     std::move(block));
}

Date QtMainLoop::now() const { return Date::fromSystemClock(std::chrono::system_clock::now()); }

void QtMainLoop::setTracking(bool tracking) {
  tracking_ = tracking;
  if (tracking) return;
  for (auto& timer : std::vector(timers_)) timer->fireIfMissed();
}

std::shared_ptr<QtMainLoop::QtTimer> QtMainLoop::find(QtTimer* timer) const {
  for (const auto& held : timers_)
    if (held.get() == timer) return held;
  return nullptr;
}

void QtMainLoop::forget(QtTimer* timer) {
  std::erase_if(timers_, [timer](const auto& held) { return held.get() == timer; });
}

}  // namespace bm::qt
