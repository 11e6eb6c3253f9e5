#include "transport/key_list.h"

#include <cerrno>

#include "transport/key_device.h"
#include "transport/network_platform.h"
#include "transport/utf8_bound.h"

namespace {

// 0 when the interface opens for writing and then for reading.
int OpenError(HidPlatform& hid, const std::string& path) {
  for (HidAccess access : {HidAccess::kWrite, HidAccess::kRead}) {
    int error = 0;
    const KeyHandle handle = hid.Open(path, access, &error);
    if (handle == KEY_INVALID_HANDLE) return error != 0 ? error : EIO;
    hid.Close(handle);
  }
  return 0;
}

}  // namespace

bool KeyListFidoInterfaces(std::vector<KeyListEntry>& out) {
  out.clear();
  KeyDevice& key = KeyDevice::Instance();
  HidPlatform& hid = key.platform();
  std::vector<HidInterface> present;
  if (!hid.Enumerate(present)) return false;
  for (const HidInterface& facts : present) {
    if (facts.usagePage != FIDO_USAGE_PAGE) continue;
    KeyListEntry entry;
    entry.facts = facts;
    entry.facts.productName = Utf8BoundUtf16Units(facts.productName, KEY_PRODUCT_NAME_UNITS - 1);
    entry.makerFilterKeeps = KeyVendorFilterKeeps(facts.vendorId, facts.productId);
    entry.kept = key.Keeps(facts);
    entry.openError = OpenError(hid, facts.path);
    if (const auto* network = dynamic_cast<const NetworkPlatform*>(&hid);
        network != nullptr && entry.openError != 0 &&
        network->failure() != ErrorText(entry.openError)) {
      entry.openReason = network->failure();
    }
    out.push_back(std::move(entry));
  }
  return true;
}
