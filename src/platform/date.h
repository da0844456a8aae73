#pragma once

#include <chrono>

namespace bm {

// A moment, as seconds since 2001-01-01 00:00:00 UTC (the history file's epoch).
struct Date {
  double secondsSinceReferenceDate = 0;

  // 2001-01-01 00:00:00 UTC in seconds since the Unix epoch.
  static constexpr double kReferenceDateInUnixSeconds = 978307200.0;

  static Date fromUnixSeconds(double unixSeconds) {
    return {unixSeconds - kReferenceDateInUnixSeconds};
  }
  static Date fromSystemClock(std::chrono::system_clock::time_point t) {
    return fromUnixSeconds(std::chrono::duration<double>(t.time_since_epoch()).count());
  }
  double unixSeconds() const { return secondsSinceReferenceDate + kReferenceDateInUnixSeconds; }

  auto operator<=>(const Date&) const = default;
};

}  // namespace bm
