// The record of one discovered HID interface.
#pragma once

#include <cstdint>
#include <string>

#include "transport/hid_platform.h"

// The product string is bounded like the 64 UTF-16 code units (terminator
// included) that the record has room for.
constexpr size_t KEY_PRODUCT_NAME_UNITS = 64;
constexpr uint16_t FIDO_USAGE_PAGE = 0xF1D0;

struct KeyDeviceInfo {
  uint32_t vendorId = 0;
  uint32_t productId = 0;
  std::string productName;  // UTF-8
  std::string version;      // release number as four uppercase hex digits
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  KeyHandle readHandle = KEY_INVALID_HANDLE;
  KeyHandle writeHandle = KEY_INVALID_HANDLE;
  std::string path;  // the platform's device path, for messages
  // A FIDO card on a reader ("pcsc:" and the reader's name as path, the
  // reader's name as product, ids unknown): the handles number its session.
  bool card = false;

  bool IsEmpty() const {
    if (card) return readHandle == KEY_INVALID_HANDLE;
    return vendorId == 0 || productId == 0 || readHandle == KEY_INVALID_HANDLE ||
           writeHandle == KEY_INVALID_HANDLE;
  }
};
