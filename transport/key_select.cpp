// Discovery of the FIDO HID interfaces and selection of one of them.
#include <cerrno>
#include <cstdio>

#include "transport/card_session.h"
#include "transport/hidapi_platform.h"
#include "transport/key_device.h"
#include "transport/utf8_bound.h"

bool KeyLayerReady = false;

const KeyVendorFilterRow KeyVendorFilter[3] = {
    {0x096E, 0},
    {0x2CCF, 0},
    {0x1915, 0x521F},
};

bool KeyVendorFilterKeeps(uint32_t vendorId, uint32_t productId) {
  for (const KeyVendorFilterRow& row : KeyVendorFilter) {
    if (row.vendorId == vendorId && (row.productId == 0 || row.productId == productId)) {
      return true;
    }
  }
  return false;
}

KeyDevice& KeyDevice::Instance() {
  static KeyDevice device;
  return device;
}

KeyDevice::KeyDevice() : clock_(&SystemClock()) {}

KeyDevice::~KeyDevice() { Close(); }

HidPlatform& KeyDevice::platform() {
  if (platform_ == nullptr) platform_ = &HidapiPlatform::Instance();
  return *platform_;
}

void KeyDevice::SetPlatform(HidPlatform* platform) {
  // The handles belong to the platform that opened them.
  Close();
  selected = KeyDeviceInfo();
  needInit = true;
  platform_ = platform;
}

void KeyDevice::SetClock(KeyClock* clock) { clock_ = clock != nullptr ? clock : &SystemClock(); }

void KeyDevice::Close() {
  if (!devices.empty()) {
    HidPlatform& hid = platform();
    for (KeyDeviceInfo& info : devices) {
      if (info.card) continue;
      if (info.readHandle != KEY_INVALID_HANDLE) hid.Close(info.readHandle);
      if (info.writeHandle != KEY_INVALID_HANDLE) hid.Close(info.writeHandle);
    }
  }
  devices.clear();
  cardSessions_.clear();
}

int KeyDevice::Enumerate() {
  selected = KeyDeviceInfo();
  Close();
  openedCount = 0;
  deniedPaths.clear();
  lastExchangeTimedOut = false;
  lastExchangeLinkLost = false;

  HidPlatform& hid = platform();
  std::vector<HidInterface> present;
  if (!hid.Enumerate(present)) present.clear();

  for (const HidInterface& facts : present) {
    // The facts come without opening the interface; only the ones the filter
    // keeps are opened.
    ++openedCount;
    if (!Keeps(facts)) continue;

    int writeError = 0;
    int readError = 0;
    KeyHandle writeHandle = hid.Open(facts.path, HidAccess::kWrite, &writeError);
    KeyHandle readHandle = hid.Open(facts.path, HidAccess::kRead, &readError);
    if (writeHandle == KEY_INVALID_HANDLE || readHandle == KEY_INVALID_HANDLE) {
      if (writeHandle != KEY_INVALID_HANDLE) hid.Close(writeHandle);
      if (readHandle != KEY_INVALID_HANDLE) hid.Close(readHandle);
      const bool denied =
          writeError == EACCES || writeError == EPERM || readError == EACCES || readError == EPERM;
      if (denied && facts.usagePage == FIDO_USAGE_PAGE) deniedPaths.push_back(facts.path);
      continue;
    }

    KeyDeviceInfo info;
    info.vendorId = facts.vendorId;
    info.productId = facts.productId;
    info.productName = Utf8BoundUtf16Units(facts.productName, KEY_PRODUCT_NAME_UNITS - 1);
    char version[8];
    std::snprintf(version, sizeof version, "%04X", facts.releaseNumber);
    info.version = version;
    info.usagePage = facts.usagePage;
    info.usage = facts.usage;
    info.readHandle = readHandle;
    info.writeHandle = writeHandle;
    info.path = facts.path;
    devices.push_back(std::move(info));
  }
  EnumerateCards();
  return openedCount;
}

int KeyEnumerate() {
  if (!KeyLayerReady) return 0;
  return KeyDevice::Instance().Enumerate();
}

int KeySelect(int vendorId, int productId) {
  KeyDevice& key = KeyDevice::Instance();
  if (!KeyLayerReady || key.devices.empty()) return 0;

  int exactMatches = 0;
  for (const KeyDeviceInfo& info : key.devices) {
    if (info.vendorId == static_cast<uint32_t>(vendorId) &&
        info.productId == static_cast<uint32_t>(productId)) {
      // A key with several interfaces under one id pair counts once: only its
      // FIDO interface takes part.
      if (info.usagePage == FIDO_USAGE_PAGE) {
        key.selected = info;
        ++exactMatches;
      }
    } else if ((vendorId == 0 || productId == 0) && info.usagePage == FIDO_USAGE_PAGE) {
      key.selected = info;
      key.needInit = true;
      return 1;
    }
  }
  if (exactMatches == 0) return 0;
  // Twins with the same ids: the later one is selected, and the channel that
  // an earlier exchange got from another key is no channel of this one.
  key.needInit = true;
  return exactMatches == 1 ? 1 : 2;
}

int KeySelectPath(const std::string& path) {
  KeyDevice& key = KeyDevice::Instance();
  if (!KeyLayerReady) return 0;
  for (const KeyDeviceInfo& info : key.devices) {
    if (info.path == path && info.usagePage == FIDO_USAGE_PAGE) {
      key.selected = info;
      key.needInit = true;
      return 1;
    }
  }
  return 0;
}

int KeyGetSelected(KeyDeviceInfo* destination) {
  if (destination == nullptr) return 1;
  *destination = KeyDevice::Instance().selected;
  return 0;
}
