// The discoverable credentials a key holds: the profile's from power-up,
// then those that makeCredential with rk adds while the device lives.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "simkey/sim_config.h"
#include "simkey/sim_crypto.h"

struct SimCredentialEntry {
  SimStoredCredential credential;  // credentialId always filled in
  SimHash rpIdHash{};
  std::vector<uint8_t> publicKey;     // 65 bytes: 04, x, y
  std::vector<uint8_t> largeBlobKey;  // 32 bytes when credential.largeBlobKey
};

// 32 bytes that depend only on the rp id and the user id.
std::vector<uint8_t> SimDerivedCredentialId(std::string_view rpId,
                                            const std::vector<uint8_t>& userId);

class SimCredentialStore {
 public:
  // Takes the profile's credentials the first time; later calls do nothing.
  void Start(const SimDeviceConfig& config);

  const std::vector<SimCredentialEntry>& entries() const { return entries_; }
  uint32_t remaining() const;
  // Adds the credential, replacing one of the same rp id and user id. False
  // when the store is full and nothing was replaced.
  bool Add(SimStoredCredential credential, std::vector<uint8_t> publicKey);

  // One entry per relying party, in the order they were first stored.
  std::vector<const SimCredentialEntry*> Rps() const;
  std::vector<const SimCredentialEntry*> OfRp(const SimHash& rpIdHash) const;

 private:
  bool started_ = false;
  uint32_t capacity_ = 0;
  std::vector<SimCredentialEntry> entries_;
};
