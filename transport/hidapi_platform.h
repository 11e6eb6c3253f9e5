// The HID services of the running system, through hidapi's hidraw backend.
#pragma once

#include <map>

#include "transport/hid_platform.h"

struct hid_device_;

class HidapiPlatform final : public HidPlatform {
 public:
  // Lives for the whole process, so the transport object can close its
  // handles at teardown.
  static HidapiPlatform& Instance();

  bool Enumerate(std::vector<HidInterface>& out) override;
  KeyHandle Open(const std::string& path, HidAccess access, int* error) override;
  void Close(KeyHandle handle) override;
  bool GetReportLengths(KeyHandle handle, uint16_t* inputLength, uint16_t* outputLength) override;
  int Write(KeyHandle handle, const uint8_t* report, size_t length) override;
  int Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) override;

 private:
  HidapiPlatform() = default;
  hid_device_* Find(KeyHandle handle) const;

  bool initialised_ = false;
  KeyHandle nextHandle_ = 1;
  std::map<KeyHandle, hid_device_*> open_;
};
