#include "platform/qt/qt_main_loop.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace bm::qt {

// Fires straight from Qt's timer event: a QTimer's timeout signal and the
// slot connected to it cost more than the clipboard poll they would run.
class QtMainLoop::QtTimer : public Timer, public std::enable_shared_from_this<QtTimer> {
 public:
  QtTimer(QtMainLoop& loop, double interval, bool repeats, std::function<void(Timer&)> block)
      : loop_(loop), repeats_(repeats), block_(std::move(block)), ticker_(new Ticker(*this)) {
    ticker_->start(static_cast<int>(std::lround(interval * 1000)));
  }
  ~QtTimer() override { ticker_->release(); }  // may be inside its own timer event

  void invalidate() override {
    if (!valid_) return;
    valid_ = false;
    ticker_->stop();
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
  // Receives the Qt timer events. Deleted later, as the timer may go inside
  // one of them.
  class Ticker : public QObject {
   public:
    explicit Ticker(QtTimer& owner) : owner_(&owner) {}
    void start(int milliseconds) { id_ = startTimer(milliseconds, Qt::PreciseTimer); }
    void stop() {
      if (id_) killTimer(id_);
      id_ = 0;
    }
    void release() {
      stop();
      owner_ = nullptr;
      deleteLater();
    }

   protected:
    void timerEvent(QTimerEvent*) override {
      if (owner_) owner_->onTimeout();
    }

   private:
    QtTimer* owner_;
    int id_ = 0;
  };

  void onTimeout() {
    if (!repeats_) ticker_->stop();
    if (!valid_) return;
    if (loop_.tracking_) {
      missed_ = true;
      return;
    }
    fire();
  }

  void fire() {
    // Keep this alive through the block, which may invalidate it.
    auto self = shared_from_this();
    block_(*this);
    if (!repeats_) invalidate();
  }

  QtMainLoop& loop_;
  bool repeats_;
  std::function<void(Timer&)> block_;
  Ticker* ticker_;
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

void QtMainLoop::forget(QtTimer* timer) {
  std::erase_if(timers_, [timer](const auto& held) { return held.get() == timer; });
}

}  // namespace bm::qt
