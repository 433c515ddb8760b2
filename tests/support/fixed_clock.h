// A clock that always says the time a test set.
#pragma once

#include "app/error_log.h"

class FixedClock final : public Clock {
 public:
  FixedClock() {
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 7;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 30;
  }
  std::tm localNow() const override { return time; }
  std::int64_t steadyMs() const override { return steady; }
  std::int64_t unixSeconds() const override { return unixTime; }
  std::tm time{};
  std::int64_t steady = 0;
  std::int64_t unixTime = 1796634330;  // 2026-12-07
};
