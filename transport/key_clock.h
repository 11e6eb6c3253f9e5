// Monotonic time and sleeping, injectable so that tests of time-outs and polls
// run without waiting.
#pragma once

#include <cstdint>

class KeyClock {
 public:
  virtual ~KeyClock() = default;
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t milliseconds) = 0;
};

// steady_clock and a real sleep.
KeyClock& SystemClock();
