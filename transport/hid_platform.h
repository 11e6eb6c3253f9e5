// The operating system's HID services, as the transport sees them. The real
// implementation sits on hidapi (hidraw); the simulated key implements the same
// interface so that every layer above runs without a USB key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using KeyHandle = intptr_t;
constexpr KeyHandle KEY_INVALID_HANDLE = -1;

// Facts about one HID interface, read without opening it.
struct HidInterface {
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t releaseNumber = 0;
  std::string productName;  // UTF-8; empty when the device gave none
  uint16_t usagePage = 0;   // of the top-level collection
  uint16_t usage = 0;
};

enum class HidAccess { kRead, kWrite };

class HidPlatform {
 public:
  virtual ~HidPlatform() = default;

  // Fills `out` with the present interfaces; false when the set cannot be had.
  virtual bool Enumerate(std::vector<HidInterface>& out) = 0;

  // Opens an interface; KEY_INVALID_HANDLE on failure, with an errno value in
  // `error` when it is not null (EACCES for a node the user may not open).
  virtual KeyHandle Open(const std::string& path, HidAccess access, int* error) = 0;
  virtual void Close(KeyHandle handle) = 0;

  // Report lengths including the report id byte (65 for a standard FIDO
  // interface). False when the capabilities cannot be read.
  virtual bool GetReportLengths(KeyHandle handle, uint16_t* inputLength,
                                uint16_t* outputLength) = 0;

  // One output report, report id first. Answers the bytes written or -1.
  virtual int Write(KeyHandle handle, const uint8_t* report, size_t length) = 0;

  // One input report into `report`, report id first (0 for unnumbered reports).
  // Answers the bytes stored, 0 when nothing came within `timeoutMs` (0 polls),
  // or -1 on failure.
  virtual int Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) = 0;
};
