// Calendar time for the metadata checks: an injectable wall clock, and the
// conversions between UTC calendar dates and seconds since 1970.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class WallClock {
 public:
  virtual ~WallClock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t NowUnixSeconds() const = 0;
};

// The system's real-time clock.
const WallClock& SystemWallClock();

// A clock that always answers the same time; for tests and fixed checks.
class FixedWallClock : public WallClock {
 public:
  explicit FixedWallClock(int64_t unixSeconds) : unixSeconds_(unixSeconds) {}
  int64_t NowUnixSeconds() const override { return unixSeconds_; }

 private:
  int64_t unixSeconds_;
};

// Seconds since 1970 of a UTC calendar time; no range or field check.
int64_t UnixSecondsOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// "YYYY-MM-DD" (a real calendar date, years 1970..9999) -> midnight UTC of
// that day. False for anything else.
bool ParseIsoDate(std::string_view text, int64_t& unixSeconds);

// "YYYY-MM-DD" of the UTC day holding `unixSeconds`.
std::string FormatIsoDate(int64_t unixSeconds);
