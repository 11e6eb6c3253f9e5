#include "simkey/sim_credential_store.h"

#include <algorithm>
#include <string>
#include <utility>

#include "simkey/sim_hex.h"

namespace {

SimHash Hash(std::string_view text) {
  return SimSha256(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace

std::vector<uint8_t> SimDerivedCredentialId(std::string_view rpId,
                                            const std::vector<uint8_t>& userId) {
  // The zero byte keeps ("ab", "c") apart from ("a", "bc").
  std::string input = "simkey credential ";
  input.append(rpId);
  input.push_back('\0');
  input.append(userId.begin(), userId.end());
  const SimHash id = Hash(input);
  return {id.begin(), id.end()};
}

void SimCredentialStore::Start(const SimDeviceConfig& config) {
  if (started_) return;
  started_ = true;
  capacity_ = config.maxCredentials;
  for (SimStoredCredential credential : config.credentials) {
    if (credential.credentialId.empty()) {
      credential.credentialId = SimDerivedCredentialId(credential.rpId, credential.userId);
    }
    // Each profile credential has its own key, the same in every run.
    SimRandom random("simkey stored " + SimHexText(credential.credentialId));
    SimEcKey key;
    key.Generate(random);
    Add(std::move(credential), key.PublicKey());
  }
}

uint32_t SimCredentialStore::remaining() const {
  return entries_.size() >= capacity_ ? 0 : capacity_ - static_cast<uint32_t>(entries_.size());
}

bool SimCredentialStore::Add(SimStoredCredential credential, std::vector<uint8_t> publicKey) {
  SimCredentialEntry entry;
  entry.rpIdHash = Hash(credential.rpId);
  if (credential.largeBlobKey) {
    const SimHash key = Hash("simkey large blob key " + SimHexText(credential.credentialId));
    entry.largeBlobKey.assign(key.begin(), key.end());
  }
  entry.credential = std::move(credential);
  entry.publicKey = std::move(publicKey);
  const auto same = std::find_if(entries_.begin(), entries_.end(), [&](const auto& held) {
    return held.credential.rpId == entry.credential.rpId &&
           held.credential.userId == entry.credential.userId;
  });
  if (same != entries_.end()) {
    *same = std::move(entry);
    return true;
  }
  if (remaining() == 0) return false;
  entries_.push_back(std::move(entry));
  return true;
}

std::vector<const SimCredentialEntry*> SimCredentialStore::Rps() const {
  std::vector<const SimCredentialEntry*> rps;
  for (const SimCredentialEntry& entry : entries_) {
    const bool seen = std::any_of(rps.begin(), rps.end(), [&](const SimCredentialEntry* rp) {
      return rp->credential.rpId == entry.credential.rpId;
    });
    if (!seen) rps.push_back(&entry);
  }
  return rps;
}

std::vector<const SimCredentialEntry*> SimCredentialStore::OfRp(const SimHash& rpIdHash) const {
  std::vector<const SimCredentialEntry*> found;
  for (const SimCredentialEntry& entry : entries_) {
    if (entry.rpIdHash == rpIdHash) found.push_back(&entry);
  }
  return found;
}
