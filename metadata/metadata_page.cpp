#include "metadata/metadata_page.h"

#include "metadata/attestation_identity.h"
#include "metadata/attestation_verdict.h"
#include "metadata/declared_getinfo.h"

const char* const METADATA_PAGE_TITLE = "Metadata";
const char* const METADATA_NO_FILE_TEXT =
    "No metadata file. Open one with \"Open metadata file...\" or --mds FILE, or download it "
    "with \"Update metadata\" or quillmark --mds-update.";
const char* const METADATA_UNKNOWN_MODEL = "This key's model is not in the metadata.";
const char* const METADATA_WARNING_ITEM = "Warning";
const char* const METADATA_VERDICT_ITEM = "Attestation chain";

namespace {

std::string BlobSummary(const MdsBlob& blob) {
  switch (blob.verdict) {
    case MdsVerdict::kNone:
      return METADATA_NO_FILE_TEXT;
    case MdsVerdict::kRejected:
      return blob.message;
    default:
      break;
  }
  std::string text = "no. " + std::to_string(blob.payload.number) + ", next update " +
                     blob.payload.nextUpdate + ", signed by " + blob.signerName + ", root " +
                     blob.rootName;
  if (blob.verdict == MdsVerdict::kOutOfDate) text += "; out of date: " + blob.outOfDateReason;
  if (!blob.revocationChecked) text += "; revocation not checked (no revocation list)";
  return text;
}

// "L1" of "FIDO_CERTIFIED_L1", "L2plus" of "FIDO_CERTIFIED_L2plus".
std::string LevelOf(const MdsStatusReport& report) {
  if (!report.certificationLevel.empty()) return report.certificationLevel;
  static constexpr char kPrefix[] = "FIDO_CERTIFIED_";
  if (report.status.rfind(kPrefix, 0) == 0) return report.status.substr(sizeof kPrefix - 1);
  return {};
}

std::string ReportText(const MdsStatusReport& report) {
  std::string text = report.status;
  if (!report.effectiveDate.empty()) text += ", effective " + report.effectiveDate;
  if (!report.certificateNumber.empty()) text += ", certificate " + report.certificateNumber;
  if (const std::string level = LevelOf(report); !level.empty()) text += ", level " + level;
  if (report.fipsRevision >= 0) text += ", FIPS 140-" + std::to_string(report.fipsRevision);
  if (report.fipsPhysicalSecurityLevel >= 0) {
    text += ", FIPS physical security level " + std::to_string(report.fipsPhysicalSecurityLevel);
  }
  return text;
}

std::string VersionText(const MdsEntry& entry, const MetadataKeyFacts& key) {
  std::string text =
      entry.authenticatorVersion >= 0 ? std::to_string(entry.authenticatorVersion) : "not given";
  const int64_t firmware =
      GetInfoFirmwareVersion(key.getInfo.data(), static_cast<uint32_t>(key.getInfo.size()));
  if (firmware >= 0) text += " (the key's firmwareVersion: " + std::to_string(firmware) + ")";
  return text;
}

// Of a model listed more than once, the entry whose newest status is the
// strictest: a compromise (the newest of those) over anything else, else the
// first entry.
const MdsEntry* StrictestEntry(const std::vector<const MdsEntry*>& entries) {
  const MdsEntry* strictest = nullptr;
  for (const MdsEntry* entry : entries) {
    if (entry->statusReports.empty()) continue;
    const MdsStatusReport& newest = entry->statusReports.front();
    if (!IsCompromiseStatus(newest.status)) continue;
    if (strictest == nullptr ||
        newest.effectiveDate > strictest->statusReports.front().effectiveDate) {
      strictest = entry;
    }
  }
  return strictest != nullptr ? strictest : entries.front();
}

}  // namespace

std::vector<const MdsEntry*> LookUpKeyModel(const MdsBlob& blob, const MetadataKeyFacts& key,
                                            ModelLookup& lookup) {
  lookup = ModelLookup();
  if (!blob.accepted()) return {};
  // FIDO2 keys by the AAGUID of GetInfo, else of the attestation
  // certificate; U2F keys by their attestation key identifier.
  std::string aaguid = key.aaguid;
  if (aaguid.empty() && !key.attestationChain.empty() && !key.u2fAttestation) {
    const std::vector<uint8_t>& leaf = key.attestationChain.front();
    aaguid = CertificateAaguid(leaf.data(), leaf.size());
  }
  std::string keyIdentifier;
  if (key.u2fAttestation && !key.attestationChain.empty()) {
    const std::vector<uint8_t>& leaf = key.attestationChain.front();
    keyIdentifier = AttestationKeyIdentifier(leaf.data(), leaf.size());
  }
  // An all-zero AAGUID names no model.
  if (aaguid == std::string(32, '0')) aaguid.clear();
  if (aaguid.empty() && keyIdentifier.empty()) return {};

  std::vector<const MdsEntry*> entries;
  if (!aaguid.empty()) entries = blob.index.FindAllByAaguid(aaguid);
  const bool byAaguid = !entries.empty() || keyIdentifier.empty();
  if (entries.empty() && !keyIdentifier.empty()) {
    entries = blob.index.FindAllByKeyIdentifier(keyIdentifier);
  }
  if (byAaguid) {
    lookup.aaguid = aaguid;
  } else {
    lookup.keyIdentifier = keyIdentifier;
  }
  lookup.entry = entries.empty() ? nullptr : StrictestEntry(entries);
  return entries;
}

std::vector<MetadataRow> BuildMetadataRows(const MdsBlob& blob, const MetadataKeyFacts& key,
                                           int64_t nowUnixSeconds) {
  std::vector<MetadataRow> rows;
  rows.push_back({"Metadata BLOB", BlobSummary(blob)});
  ModelLookup lookup;
  const auto verdictRow = [&] {
    rows.push_back(
        {METADATA_VERDICT_ITEM, AttestationVerdictText(blob, key, lookup, nowUnixSeconds)});
    return rows;
  };
  const std::vector<const MdsEntry*> entries = LookUpKeyModel(blob, key, lookup);
  if (lookup.aaguid.empty() && lookup.keyIdentifier.empty()) return verdictRow();
  const bool byAaguid = !lookup.aaguid.empty();
  const MdsEntry* entry = lookup.entry;
  rows.push_back({"Description", entry != nullptr && !entry->description.empty()
                                     ? entry->description
                                     : std::string(METADATA_UNKNOWN_MODEL)});
  if (byAaguid) {
    rows.push_back({"AAGUID", HyphenatedAaguid(lookup.aaguid)});
  } else {
    rows.push_back({"Attestation key identifier", lookup.keyIdentifier});
  }
  if (entry == nullptr) return verdictRow();

  rows.push_back({"Authenticator version", VersionText(*entry, key)});
  if (entry->statusReports.empty()) {
    rows.push_back({"Status", "no status reports"});
  } else {
    rows.push_back({"Status", ReportText(entry->statusReports.front())});
    for (size_t i = 1; i < entry->statusReports.size(); ++i) {
      rows.push_back({"Status history", ReportText(entry->statusReports[i])});
    }
  }
  for (const MdsStatusReport& report : entry->statusReports) {
    if (IsCompromiseStatus(report.status)) {
      rows.push_back(
          {METADATA_WARNING_ITEM,
           report.status +
               (report.effectiveDate.empty() ? std::string() : " since " + report.effectiveDate)});
    }
  }
  if (entries.size() > 1) {
    rows.push_back(
        {METADATA_WARNING_ITEM, "the metadata lists this model " + std::to_string(entries.size()) +
                                    " times; the entry with the strictest newest status is shown"});
  }
  if (!entry->authenticatorGetInfo.is_null() && !key.getInfo.empty()) {
    const std::vector<std::string> differences = CompareDeclaredGetInfo(
        entry->authenticatorGetInfo, key.getInfo.data(), static_cast<uint32_t>(key.getInfo.size()));
    if (differences.empty()) rows.push_back({"Declared GetInfo", "matches the key"});
    for (const std::string& difference : differences) {
      rows.push_back({"Declared GetInfo", difference});
    }
  }
  return verdictRow();
}
