#include "app/usb_device_path.h"

#include <cstdio>
#include <cstring>

#include "app/device_change.h"

const char USB_DEVICE_INTERFACE_CLASS[] = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one to four hex digits from `text`; answers the first character after
// them, or null when there are none or more than four.
const char* ReadHexId(const char* text, uint16_t* id) {
  unsigned value = 0;
  int count = 0;
  for (int digit; (digit = HexDigit(*text)) >= 0; ++text) {
    if (++count > 4) return nullptr;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  if (count == 0) return nullptr;
  *id = static_cast<uint16_t>(value);
  return text;
}

bool ParsePair(const char* vendorText, const char* productText, uint16_t* vendorId,
               uint16_t* productId) {
  uint16_t vendor = 0;
  uint16_t product = 0;
  if (vendorText == nullptr || productText == nullptr) return false;
  if (!ParseUsbId(vendorText, &vendor) || !ParseUsbId(productText, &product)) return false;
  *vendorId = vendor;
  *productId = product;
  return true;
}

}  // namespace

std::string UsbInterfacePath(uint16_t vendorId, uint16_t productId, const std::string& sysname) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", vendorId, productId);
  return std::string("\\\\?\\USB#") + ids + "#" + sysname + "#" + USB_DEVICE_INTERFACE_CLASS;
}

std::string UsbInterfacePathWithoutIds(const std::string& sysname) {
  return std::string("\\\\?\\USB#") + sysname + "#" + USB_DEVICE_INTERFACE_CLASS;
}

bool ParseUsbId(const char* text, uint16_t* id) {
  if (text == nullptr) return false;
  uint16_t value = 0;
  const char* end = ReadHexId(text, &value);
  if (end == nullptr || *end != '\0') return false;
  *id = value;
  return true;
}

bool ParseUsbProduct(const char* text, uint16_t* vendorId, uint16_t* productId) {
  if (text == nullptr) return false;
  uint16_t vendor = 0;
  uint16_t product = 0;
  const char* rest = ReadHexId(text, &vendor);
  if (rest == nullptr || *rest != '/') return false;
  rest = ReadHexId(rest + 1, &product);
  if (rest == nullptr || *rest != '/') return false;
  *vendorId = vendor;
  *productId = product;
  return true;
}

bool UsbEventIds(const UsbIdSources& sources, uint16_t* vendorId, uint16_t* productId) {
  return ParsePair(sources.vendorIdProperty, sources.modelIdProperty, vendorId, productId) ||
         ParsePair(sources.vendorAttribute, sources.productAttribute, vendorId, productId) ||
         ParseUsbProduct(sources.productProperty, vendorId, productId);
}

std::string UsbEventPath(const UsbIdSources& sources, const std::string& sysname) {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  if (!UsbEventIds(sources, &vendorId, &productId)) return UsbInterfacePathWithoutIds(sysname);
  return UsbInterfacePath(vendorId, productId, sysname);
}

uint32_t UsbActionEventType(const char* action) {
  if (action == nullptr) return DBT_DEVNODES_CHANGED;
  if (std::strcmp(action, "add") == 0) return DBT_DEVICEARRIVAL;
  if (std::strcmp(action, "remove") == 0) return DBT_DEVICEREMOVECOMPLETE;
  return DBT_DEVNODES_CHANGED;
}
