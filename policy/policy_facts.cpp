#include "policy/policy_facts.h"

#include <mbedtls/sha256.h>

#include "cbor/cbor_tree.h"
#include "keyinfo/metadata_rows.h"
#include "keyinfo/passkeys_page.h"
#include "metadata/attestation_identity.h"
#include "metadata/attestation_verdict.h"
#include "metadata/metadata_page.h"

namespace {

constexpr uint64_t kVersionsMember = 0x01;
constexpr uint64_t kOptionsMember = 0x04;
constexpr uint64_t kFirmwareMember = 0x0E;

const ReportList* PageOf(const QuillmarkModel& model, const char* caption) {
  for (size_t page = 0; page < model.Pages().size(); ++page) {
    if (model.Pages()[page].caption == caption) return &model.PageList(page);
  }
  return nullptr;
}

// The value of the first row whose item is `item`; false when there is none.
bool RowValue(const ReportList* list, const char* item, std::string& value) {
  for (size_t row = 0; list != nullptr && row < list->RowCount(); ++row) {
    if (list->Cell(row, 0) == item) {
      value = list->Cell(row, 1);
      return true;
    }
  }
  return false;
}

void ReadGetInfo(const std::vector<uint8_t>& answer, PolicyFacts& facts) {
  CborNode map;
  if (answer.empty() ||
      CborDecode(answer.data(), answer.size(), map).status != CborDecodeStatus::kOk ||
      !map.IsMap()) {
    return;
  }
  facts.keyRead = true;
  if (const CborNode* versions = CborMapValue(map, kVersionsMember);
      versions != nullptr && versions->IsArray()) {
    for (const CborNode& version : versions->children) {
      if (version.IsText()) facts.versions.push_back(version.bytes);
    }
  }
  if (const CborNode* options = CborMapValue(map, kOptionsMember);
      options != nullptr && options->IsMap()) {
    for (size_t i = 0; i + 1 < options->children.size(); i += 2) {
      const CborNode& name = options->children[i];
      const CborNode& value = options->children[i + 1];
      if (!name.IsText() || !value.IsBool()) continue;
      const bool on = value.argument == 21;
      facts.options.emplace_back(name.bytes, on);
      if (name.bytes == "clientPin") facts.pin = on ? PolicyPin::kSet : PolicyPin::kNotSet;
    }
  }
  if (const CborNode* firmware = CborMapValue(map, kFirmwareMember);
      firmware != nullptr && firmware->IsUnsigned() && firmware->argument <= INT64_MAX) {
    facts.firmware = static_cast<int64_t>(firmware->argument);
  }
}

// "3 stored ..." -> 3; anything else leaves the count unread with the text.
void ReadPasskeyCount(const QuillmarkModel& model, PolicyFacts& facts) {
  std::string text;
  if (!RowValue(PageOf(model, PASSKEYS_PAGE_CAPTION), PASSKEYS_DISCOVERABLE_ITEM, text)) return;
  size_t digits = 0;
  while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9') {
    ++digits;
  }
  if (digits > 0 && text.compare(digits, 7, " stored") == 0) {
    facts.passkeysStored = std::stoll(text.substr(0, digits));
  } else {
    facts.passkeysText = text;
  }
}

void ReadMetadata(const MetadataKeyFacts& key, const MdsBlob& blob, int64_t now,
                  PolicyFacts& facts) {
  facts.blobVerdict = blob.verdict;
  if (!blob.accepted()) return;
  facts.blobNumber = blob.payload.number;
  if (blob.verdict == MdsVerdict::kOutOfDate) {
    facts.blobOutOfDate = blob.outOfDateReason;
  } else if (now >= blob.payload.nextUpdateUnixSeconds) {
    facts.blobOutOfDate = "its next update was due on " + blob.payload.nextUpdate;
  }
  facts.blobCurrent = facts.blobOutOfDate.empty();
  ModelLookup lookup;
  LookUpKeyModel(blob, key, lookup);
  if (lookup.entry != nullptr) {
    facts.modelListed = true;
    facts.modelDescription = lookup.entry->description;
    facts.statusReports = lookup.entry->statusReports;
  }
}

}  // namespace

PolicyFacts GatherPolicyFacts(const QuillmarkModel& model, const MdsBlob& blob,
                              int64_t nowUnixSeconds) {
  PolicyFacts facts;
  ReadGetInfo(model.getInfoAnswer, facts);
  const MetadataKeyFacts key = MetadataKeyFactsOf(model);
  facts.aaguid = key.aaguid;
  std::string verdictText;
  if (RowValue(PageOf(model, METADATA_PAGE_CAPTION), METADATA_VERDICT_ITEM, verdictText)) {
    facts.verdictText = verdictText;
    facts.verdict = VerdictOf(verdictText);
  }
  if (!model.attestationChain.empty()) {
    facts.fetched = true;
    const std::vector<uint8_t>& leaf = model.attestationChain.front();
    if (model.attestationFromU2f) {
      facts.keyIdentifier = AttestationKeyIdentifier(leaf.data(), leaf.size());
    }
    unsigned char digest[32];
    if (mbedtls_sha256_ret(leaf.data(), leaf.size(), digest, 0) == 0) {
      facts.attestationLeafSha256 = LowerHex(digest, sizeof digest);
    }
  }
  ReadMetadata(key, blob, nowUnixSeconds, facts);
  ReadPasskeyCount(model, facts);
  return facts;
}
