#include "transport/key_clock.h"

#include <chrono>
#include <thread>

namespace {

class SteadyClock final : public KeyClock {
 public:
  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  void SleepMs(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

KeyClock& SystemClock() {
  static SteadyClock clock;
  return clock;
}
