#include "metadata/mds_index.h"

#include <algorithm>
#include <cctype>

void MdsIndex::Build(const MdsPayload& payload) {
  Clear();
  payload_ = &payload;
  byAaguid_.reserve(payload.entries.size());
  for (size_t i = 0; i < payload.entries.size(); ++i) {
    const MdsEntry& entry = payload.entries[i];
    if (!entry.aaguid.empty()) byAaguid_.emplace(entry.aaguid, i);
    // An entry listing one identifier twice is still one entry.
    std::vector<std::string> identifiers = entry.keyIdentifiers;
    std::sort(identifiers.begin(), identifiers.end());
    identifiers.erase(std::unique(identifiers.begin(), identifiers.end()), identifiers.end());
    for (const std::string& identifier : identifiers) byKeyIdentifier_.emplace(identifier, i);
  }
}

void MdsIndex::Clear() {
  payload_ = nullptr;
  byAaguid_.clear();
  byKeyIdentifier_.clear();
}

std::vector<const MdsEntry*> MdsIndex::Entries(
    const std::unordered_multimap<std::string, size_t>& map, const std::string& key) const {
  std::vector<const MdsEntry*> entries;
  if (payload_ == nullptr) return entries;
  std::vector<size_t> positions;
  const auto range = map.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) positions.push_back(it->second);
  std::sort(positions.begin(), positions.end());
  for (size_t position : positions) entries.push_back(&payload_->entries[position]);
  return entries;
}

std::vector<const MdsEntry*> MdsIndex::FindAllByAaguid(const std::string& aaguid) const {
  return Entries(byAaguid_, NormalizeAaguid(aaguid));
}

std::vector<const MdsEntry*> MdsIndex::FindAllByKeyIdentifier(const std::string& identifier) const {
  std::string key = identifier;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Entries(byKeyIdentifier_, key);
}

const MdsEntry* MdsIndex::FindByAaguid(const std::string& aaguid) const {
  const std::vector<const MdsEntry*> entries = FindAllByAaguid(aaguid);
  return entries.empty() ? nullptr : entries.front();
}

const MdsEntry* MdsIndex::FindByKeyIdentifier(const std::string& identifier) const {
  const std::vector<const MdsEntry*> entries = FindAllByKeyIdentifier(identifier);
  return entries.empty() ? nullptr : entries.front();
}
