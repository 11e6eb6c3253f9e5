// A HidPlatform of simulated keys: the interfaces are SimDevices, and time
// is a SimClock, so everything above the platform runs without a USB key and
// without waiting.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "simkey/sim_device.h"
#include "transport/hid_platform.h"

class SimKeyPlatform : public HidPlatform {
 public:
  // Without a clock the platform keeps its own. It starts with no device.
  explicit SimKeyPlatform(SimClock* clock = nullptr);
  ~SimKeyPlatform() override;

  // One device per entry; with no entries, no device (a run without a key).
  static std::unique_ptr<SimKeyPlatform> FromProfile(const std::vector<SimDeviceConfig>& devices,
                                                     SimClock* clock = nullptr);

  SimClock& clock() { return *clock_; }

  // Plugs a device in. The reference stays valid for the platform's life,
  // also after the device is removed.
  SimDevice& AddDevice(SimDeviceConfig config);
  // Unplugs the device with that path: it leaves the enumeration, and its
  // open handles answer -1.
  void RemoveDevice(const std::string& path);

  // The plugged-in devices, in the order they were added.
  size_t deviceCount() const { return plugged_.size(); }
  SimDevice& device(size_t index) { return *plugged_.at(index); }

  // Every HidPlatform call so far.
  size_t platformCalls() const { return platformCalls_; }

  // A real sleep on every report written and every report read (for
  // benchmarks of the exchange); 0 by default.
  void SetReportLatency(std::chrono::microseconds latency) { latency_ = latency; }

  bool Enumerate(std::vector<HidInterface>& out) override;
  KeyHandle Open(const std::string& path, HidAccess access, int* error) override;
  void Close(KeyHandle handle) override;
  bool GetReportLengths(KeyHandle handle, uint16_t* inputLength, uint16_t* outputLength) override;
  int Write(KeyHandle handle, const uint8_t* report, size_t length) override;
  int Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) override;

 private:
  // The plugged-in device behind an open handle, or null.
  SimDevice* Reach(KeyHandle handle);
  void Latency();

  std::unique_ptr<SimClock> ownClock_;
  SimClock* clock_;
  std::vector<std::unique_ptr<SimDevice>> all_;  // owns every device ever added
  std::vector<SimDevice*> plugged_;
  std::map<KeyHandle, SimDevice*> handles_;
  KeyHandle nextHandle_ = 100;
  size_t added_ = 0;
  size_t platformCalls_ = 0;
  std::chrono::microseconds latency_{0};
};
