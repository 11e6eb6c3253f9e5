// Which interfaces enumeration keeps: the FIDO interfaces of the vendor
// filter, every FIDO interface, or the one the user named. A key's other
// interfaces (its keyboard, say) share its ids and are opened only when the
// user names their path.
#include "transport/key_device.h"

void KeyDevice::SetNamedDevice(const DeviceName* name) {
  hasNamed_ = name != nullptr;
  named_ = name != nullptr ? *name : DeviceName();
}

bool KeyDevice::Keeps(const HidInterface& facts) const {
  if (hasNamed_ && named_.kind != DeviceName::Kind::kVendorProduct) {
    return facts.path == named_.path;
  }
  if (facts.usagePage != FIDO_USAGE_PAGE) return false;
  if (!hasNamed_ && allVendors_) return true;
  if (!hasNamed_) return KeyVendorFilterKeeps(facts.vendorId, facts.productId);
  return facts.vendorId == named_.vendorId && facts.productId == named_.productId;
}
