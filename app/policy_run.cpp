#include "app/policy_run.h"

#include "app/pin_once_prompt.h"
#include "attestation/certificate_fetch.h"
#include "attestation/passkeys_read.h"
#include "keyinfo/metadata_rows.h"
#include "metadata/attestation_identity.h"
#include "policy/inventory.h"
#include "transport/key_device.h"

KeyCheck CheckRefreshedKey(QuillmarkModel& model, const Policy& policy, const MdsBlob& blob,
                           int64_t nowUnixSeconds, UserPrompt& prompt, KeyClock& pollClock) {
  PinOncePrompt pinOnce(prompt);
  const PolicyNeeds needs = WhatPolicyNeeds(policy, GatherPolicyFacts(model, blob, nowUnixSeconds));
  // A key that gave up during the refresh is asked nothing more: its rules
  // stay unknown.
  if (!model.keyDidNotAnswer && model.infoList.RowCount() > 0) {
    if (needs.fetch) {
      if (model.getInfoAnswer.empty()) {
        FetchU2fCertificate(model, pinOnce, pollClock);
      } else {
        FetchFido2Certificates(model, pinOnce);
      }
    }
    if (needs.passkeys && !model.keyDidNotAnswer) ReadPasskeys(model, pinOnce);
  }
  ShowMetadataPage(model, blob, nowUnixSeconds);
  KeyCheck check;
  check.facts = GatherPolicyFacts(model, blob, nowUnixSeconds);
  check.result = CheckPolicy(policy, check.facts);
  if (ReportList* page = model.FindPage(POLICY_PAGE_CAPTION)) WritePolicyPage(check.result, *page);
  return check;
}

namespace {

InventoryDevice SelectedDevice() {
  const KeyDeviceInfo& selected = KeyDevice::Instance().selected;
  InventoryDevice device;
  device.path = selected.path;
  if (selected.vendorId != 0) device.vendorId = static_cast<int>(selected.vendorId);
  if (selected.productId != 0) device.productId = static_cast<int>(selected.productId);
  device.product = selected.productName;
  return device;
}

}  // namespace

std::string AppendKeyCheck(const std::string& inventory, const KeyCheck& check,
                           int64_t nowUnixSeconds) {
  return AppendInventoryLine(inventory, InventoryLine(SelectedDevice(), check.facts, check.result,
                                                      nowUnixSeconds, InventoryHostName()));
}

std::string CheckedKeyIdentity(const KeyCheck& check) {
  const InventoryDevice device = SelectedDevice();
  std::string identity = device.path.empty() ? "(no path)" : device.path;
  identity += ", " + (device.product.empty() ? std::string("(no product name)") : device.product);
  if (!check.facts.aaguid.empty()) {
    identity += ", AAGUID " + HyphenatedAaguid(check.facts.aaguid);
  } else if (!check.facts.keyIdentifier.empty()) {
    identity += ", key identifier " + check.facts.keyIdentifier;
  } else {
    identity += ", no AAGUID";
  }
  return identity;
}
