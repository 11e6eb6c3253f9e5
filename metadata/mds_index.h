// Look-up of metadata entries by AAGUID and by attestation key identifier,
// built once per file.
#pragma once

#include <string>
#include <unordered_map>

#include "metadata/mds_payload.h"

class MdsIndex {
 public:
  // Indexes `payload`, which must outlive the index and stay unchanged. An
  // AAGUID or identifier listed twice finds its first entry.
  void Build(const MdsPayload& payload);
  void Clear();

  // `aaguid`: 32 hex digits or the hyphenated form, any case.
  const MdsEntry* FindByAaguid(const std::string& aaguid) const;
  // `identifier`: hex, any case.
  const MdsEntry* FindByKeyIdentifier(const std::string& identifier) const;

 private:
  const MdsPayload* payload_ = nullptr;
  std::unordered_map<std::string, size_t> byAaguid_;
  std::unordered_map<std::string, size_t> byKeyIdentifier_;
};
