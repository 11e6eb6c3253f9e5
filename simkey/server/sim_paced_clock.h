// The simulated clock of a served key: it never falls behind real time, and
// keep-alives may carry it ahead, for the server to wait until real time
// catches up. Touches so take as long as the profile says.
#pragma once

#include <chrono>
#include <cstdint>

#include "simkey/sim_clock.h"

class SimPacedClock : public SimClock {
 public:
  // Real milliseconds since the clock was made.
  uint64_t RealMs() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start_)
                                     .count());
  }
  void CatchUp() {
    const uint64_t real = RealMs();
    if (real > NowMs()) Advance(real - NowMs());
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
