#pragma once

#include <QtGlobal>
#include <algorithm>
#include <chrono>

namespace bm::qt {

// How long a clipboard transfer between programs may take: each piece must
// come within kPatience, and after the first kPatience the whole must move at
// 1 MB/s or faster (a hundredth of what a local program sends), so that a
// program that trickles is given up as surely as one that stalls.
class TransferPace {
 public:
  static constexpr std::chrono::milliseconds kPatience{2000};

  TransferPace() : start_(std::chrono::steady_clock::now()) {}

  // The latest the next piece may come, with `moved` bytes moved so far.
  std::chrono::steady_clock::time_point nextDeadline(qsizetype moved) const {
    const auto allowed = kPatience + std::chrono::milliseconds(moved / kBytesPerMillisecond);
    return std::min(std::chrono::steady_clock::now() + kPatience, start_ + allowed);
  }
  // nextDeadline as a poll(2) timeout, never below zero.
  int millisecondsLeft(qsizetype moved) const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextDeadline(moved) - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
  }

 private:
  static constexpr qsizetype kBytesPerMillisecond = 1000;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace bm::qt
