// The device path that a USB device event carries, in the form the
// device-change handler reads its ids from:
//   \\?\USB#VID_1915&PID_521F#<sysname>#{A5DCBF10-6530-11D2-901F-00C04FB951ED}
// and the ids of the event, from what udev tells about the device.
#pragma once

#include <cstdint>
#include <string>

// The interface class of USB devices, as it ends every path.
extern const char USB_DEVICE_INTERFACE_CLASS[];

// Upper-case, four hex digits per id.
std::string UsbInterfacePath(uint16_t vendorId, uint16_t productId, const std::string& sysname);
// For an event whose ids are unknown: the same path without the "VID_" and
// "PID_" parts.
std::string UsbInterfacePathWithoutIds(const std::string& sysname);

// One id as udev writes it ("096e", ID_VENDOR_ID or the idVendor file): one to
// four hex digits and nothing else. False, leaving `id` alone, otherwise.
bool ParseUsbId(const char* text, uint16_t* id);
// The PRODUCT property of a USB device event, "vid/pid/rev" in hex without
// leading zeros ("1915/521f/100"). False, leaving the ids alone, when either
// id is not one to four hex digits followed by '/'.
bool ParseUsbProduct(const char* text, uint16_t* vendorId, uint16_t* productId);

// What udev may know of a device's ids; null where it says nothing. After a
// removal the sysfs attributes are gone, and only the event's properties
// remain.
struct UsbIdSources {
  const char* vendorIdProperty = nullptr;  // ID_VENDOR_ID
  const char* modelIdProperty = nullptr;   // ID_MODEL_ID
  const char* vendorAttribute = nullptr;   // idVendor
  const char* productAttribute = nullptr;  // idProduct
  const char* productProperty = nullptr;   // PRODUCT
};

// Takes the first pair that parses whole: the ID_ properties, the attributes,
// then PRODUCT. False when none does.
bool UsbEventIds(const UsbIdSources& sources, uint16_t* vendorId, uint16_t* productId);

// The path for one event: with the ids when they are known.
std::string UsbEventPath(const UsbIdSources& sources, const std::string& sysname);

// The device-change type of a udev action: "add" DBT_DEVICEARRIVAL, "remove"
// DBT_DEVICEREMOVECOMPLETE, anything else (also none) DBT_DEVNODES_CHANGED.
uint32_t UsbActionEventType(const char* action);
