// The acceptance station of --watch, free of the event loop: each FIDO
// interface that appears is checked once, until it is gone again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>

#include "attestation/user_prompt.h"
#include "metadata/mds_blob.h"
#include "metadata/utc_date.h"
#include "policy/policy_file.h"

class WatchStation {
 public:
  // `inventory` empty: no inventory. `prompt` answers the fetch and the
  // passkey reading (the PIN, once per key).
  WatchStation(const Policy& policy, const MdsBlob& blob, const WallClock& clock,
               std::string inventory, UserPrompt& prompt, std::ostream& out, std::ostream& err);

  // Forgets the interfaces that are gone and checks those that are new.
  void Scan();
  // A device event of the udev source: an arrival waits the system's moment
  // before the new interface can be opened.
  void OnDeviceEvent(uint32_t eventType);

  size_t checked() const { return checked_; }
  size_t passed() const { return passed_; }
  // "N checked, P passed, F failed"
  std::string SummaryLine() const;
  // 0 when every key passed, EXIT_POLICY_FAILED when one did not,
  // EXIT_INVENTORY_FAILED when a check could not be appended.
  int ExitStatus() const;

 private:
  void Check(const std::string& path);

  const Policy& policy_;
  const MdsBlob& blob_;
  const WallClock& clock_;
  std::string inventory_;
  UserPrompt& prompt_;
  std::ostream& out_;
  std::ostream& err_;
  std::set<std::string> present_;
  size_t checked_ = 0;
  size_t passed_ = 0;
  bool inventoryFailed_ = false;
};
