#include "metadata/mds_index.h"

#include <cctype>

void MdsIndex::Build(const MdsPayload& payload) {
  Clear();
  payload_ = &payload;
  byAaguid_.reserve(payload.entries.size());
  for (size_t i = 0; i < payload.entries.size(); ++i) {
    const MdsEntry& entry = payload.entries[i];
    if (!entry.aaguid.empty()) byAaguid_.emplace(entry.aaguid, i);
    for (const std::string& identifier : entry.keyIdentifiers)
      byKeyIdentifier_.emplace(identifier, i);
  }
}

void MdsIndex::Clear() {
  payload_ = nullptr;
  byAaguid_.clear();
  byKeyIdentifier_.clear();
}

const MdsEntry* MdsIndex::FindByAaguid(const std::string& aaguid) const {
  if (payload_ == nullptr) return nullptr;
  const auto it = byAaguid_.find(NormalizeAaguid(aaguid));
  return it == byAaguid_.end() ? nullptr : &payload_->entries[it->second];
}

const MdsEntry* MdsIndex::FindByKeyIdentifier(const std::string& identifier) const {
  if (payload_ == nullptr) return nullptr;
  std::string key = identifier;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto it = byKeyIdentifier_.find(key);
  return it == byKeyIdentifier_.end() ? nullptr : &payload_->entries[it->second];
}
