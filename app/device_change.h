// Following keys being plugged in and pulled out, free of widgets: the event
// type filter of the window procedure and the device-change handler that cuts
// the ids out of the device path, waits a second and refreshes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "transport/key_clock.h"

constexpr uint32_t WM_DEVICECHANGE_MESSAGE = 0x0219;
constexpr uint32_t DBT_DEVICEARRIVAL = 0x8000;
constexpr uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr uint32_t DBT_DEVNODES_CHANGED = 0x0007;

// What a device event carries: a device-interface record with its path, or
// some other record.
struct DeviceEventRecord {
  bool isDeviceInterface = true;
  std::string path;  // \\?\USB#VID_096E&PID_0858#<sysname>#{A5DCBF10-...}
};

class DeviceChangeHandler {
 public:
  using Refresh = std::function<void(const std::string& vidText, const std::string& pidText)>;
  DeviceChangeHandler(KeyClock& clock, Refresh refresh);

  // One device-change message as the window procedure sees it. Messages
  // that arrive while a refresh runs (the window stays live during key
  // exchanges) are kept and handled, in order, once it has ended.
  void WindowProc(uint32_t eventType, const DeviceEventRecord* record);
  // Answers true when it ran a refresh.
  bool OnDeviceChange(uint32_t eventType, const DeviceEventRecord* record);

  uint32_t lastDeviceEvent = 0;

 private:
  KeyClock& clock_;
  Refresh refresh_;
  bool busy_ = false;
  struct Pending {
    uint32_t eventType;
    bool hasRecord;
    DeviceEventRecord record;
  };
  std::deque<Pending> pending_;
};
