#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace bm::qt::test {

// Runs the event loop for `ms` milliseconds, or until `done` holds.
inline bool pump(int ms, const std::function<bool()>& done = {}) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (done && done()) return true;
  }
  return done ? done() : true;
}

}  // namespace bm::qt::test
