#include "app/device_choice.h"

#include <ostream>
#include <vector>

#include "app/command_line.h"

#include "transport/key_device.h"
#include "transport/network_platform.h"

DeviceChoice::DeviceChoice() = default;

DeviceChoice::~DeviceChoice() {
  if (!active_) return;
  KeyDevice& key = KeyDevice::Instance();
  key.SetNamedDevice(nullptr);
  if (network_) key.SetPlatform(nullptr);
}

void DeviceChoice::Start(const DeviceName& name) {
  name_ = name;
  active_ = true;
  KeyDevice& key = KeyDevice::Instance();
  network_ = NetworkPlatform::ForName(name);
  if (network_) key.SetPlatform(network_.get());
  key.SetNamedDevice(&name_);
}

void DeviceChoice::SetWaitLimitMs(int milliseconds) {
  if (network_) network_->SetWaitLimitMs(milliseconds);
}

std::string DeviceChoice::Line(const std::string& reason) const {
  return "cannot reach " + name_.path + ": " + reason;
}

std::string DeviceChoice::CheckReachable() const {
  if (!active_) return std::string();
  HidPlatform& hid = KeyDevice::Instance().platform();
  if (network_) {
    int error = 0;
    const KeyHandle handle = hid.Open(name_.path, HidAccess::kWrite, &error);
    if (handle == KEY_INVALID_HANDLE) return Line(network_->failure());
    hid.Close(handle);
    return std::string();
  }
  std::vector<HidInterface> present;
  if (!hid.Enumerate(present)) return Line("the HID interfaces cannot be listed");
  bool found = false;
  for (const HidInterface& facts : present) {
    const bool named = name_.kind == DeviceName::Kind::kVendorProduct
                           ? facts.vendorId == name_.vendorId && facts.productId == name_.productId
                           : facts.path == name_.path;
    if (!named) continue;
    found = true;
    if (facts.usagePage == FIDO_USAGE_PAGE) return std::string();
  }
  return Line(found                                      ? "not a FIDO interface"
              : name_.kind == DeviceName::Kind::kHidPath ? "no such HID interface"
                                                         : "no HID interface with these ids");
}

std::string DeviceChoice::Unreached() const {
  if (!active_) return std::string();
  const KeyDevice& key = KeyDevice::Instance();
  if (network_ && !network_->answered() && !network_->failure().empty()) {
    return Line(network_->failure());
  }
  if (key.selected.IsEmpty()) {
    // Access problems have their own message.
    if (!key.deniedPaths.empty()) return std::string();
    const std::string reason = CheckReachable();
    return reason.empty() ? Line("the interface could not be opened") : reason;
  }
  return std::string();
}

bool StartDeviceChoice(const CommandLine& line, DeviceChoice& chosen, std::ostream& err) {
  if (line.device.empty()) return true;
  DeviceName name;
  std::string problem;
  if (!ParseDeviceName(line.device, name, problem)) {
    err << "quillmark: " << problem << "\n";
    return false;
  }
  chosen.Start(name);
  const std::string unreachable = chosen.CheckReachable();
  if (unreachable.empty()) return true;
  err << "quillmark: " << unreachable << "\n";
  return false;
}
