// Simulated time for the simulated key and for the code under test: it starts
// at 0 and moves only when someone sleeps or advances it, so waits through
// time-outs and touches cost no real time.
#pragma once

#include <cstdint>

#include "transport/key_clock.h"

class SimClock : public KeyClock {
 public:
  uint64_t NowMs() override { return nowMs_; }
  void SleepMs(uint32_t milliseconds) override { nowMs_ += milliseconds; }
  void Advance(uint64_t milliseconds) { nowMs_ += milliseconds; }

 private:
  uint64_t nowMs_ = 0;
};
