// Which interfaces enumeration keeps: those of the vendor filter, every FIDO
// interface, or the one the user named.
#include "transport/key_device.h"

void KeyDevice::SetNamedDevice(const DeviceName* name) {
  hasNamed_ = name != nullptr;
  named_ = name != nullptr ? *name : DeviceName();
}

bool KeyDevice::Keeps(const HidInterface& facts) const {
  if (!hasNamed_ && allVendors_) return facts.usagePage == FIDO_USAGE_PAGE;
  if (!hasNamed_) return KeyVendorFilterKeeps(facts.vendorId, facts.productId);
  if (named_.kind == DeviceName::Kind::kVendorProduct) {
    return facts.vendorId == named_.vendorId && facts.productId == named_.productId;
  }
  return facts.path == named_.path;
}
