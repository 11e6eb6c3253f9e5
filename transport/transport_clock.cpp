#include "transport/key_device.h"

namespace {

// Follows whatever clock the transport uses at the moment of each call, so a
// wait outside an exchange passes on the same time as the key's own waits.
class TransportClock final : public KeyClock {
 public:
  uint64_t NowMs() override { return KeyDevice::Instance().clock().NowMs(); }
  void SleepMs(uint32_t milliseconds) override {
    KeyDevice::Instance().clock().SleepMs(milliseconds);
  }
};

}  // namespace

KeyClock& KeyTransportClock() {
  static TransportClock clock;
  return clock;
}
