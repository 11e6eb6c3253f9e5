// Look-up of metadata entries by AAGUID and by attestation key identifier,
// built once per file.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "metadata/mds_payload.h"

class MdsIndex {
 public:
  // Indexes `payload`, which must outlive the index and stay unchanged.
  void Build(const MdsPayload& payload);
  void Clear();

  // `aaguid`: 32 hex digits or the hyphenated form, any case. The first entry
  // listing it, or null.
  const MdsEntry* FindByAaguid(const std::string& aaguid) const;
  // `identifier`: hex, any case.
  const MdsEntry* FindByKeyIdentifier(const std::string& identifier) const;
  // Every entry listing it, in the file's order: a file may list a model
  // twice, and the second entry may be the one that revokes it.
  std::vector<const MdsEntry*> FindAllByAaguid(const std::string& aaguid) const;
  std::vector<const MdsEntry*> FindAllByKeyIdentifier(const std::string& identifier) const;

 private:
  std::vector<const MdsEntry*> Entries(const std::unordered_multimap<std::string, size_t>& map,
                                       const std::string& key) const;

  const MdsPayload* payload_ = nullptr;
  std::unordered_multimap<std::string, size_t> byAaguid_;
  std::unordered_multimap<std::string, size_t> byKeyIdentifier_;
};
