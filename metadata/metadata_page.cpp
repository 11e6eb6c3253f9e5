#include "metadata/metadata_page.h"

#include "metadata/attestation_identity.h"
#include "metadata/chain_check.h"
#include "metadata/declared_getinfo.h"

const char* const METADATA_PAGE_TITLE = "Metadata";
const char* const METADATA_NO_FILE_TEXT =
    "No metadata file. Open one with \"Open metadata file...\" or --mds FILE, or download it "
    "with \"Update metadata\" or quillmark --mds-update.";
const char* const METADATA_UNKNOWN_MODEL = "This key's model is not in the metadata.";
const char* const METADATA_WARNING_ITEM = "Warning";

namespace {

constexpr const char* kCompromiseStatuses[] = {
    "REVOKED", "ATTESTATION_KEY_COMPROMISE", "USER_VERIFICATION_BYPASS",
    "USER_KEY_REMOTE_COMPROMISE", "USER_KEY_PHYSICAL_COMPROMISE"};

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
  return text;
}

std::string HyphenatedAaguid(const std::string& hex) {
  if (hex.size() != 32) return hex;
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
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

std::string ChainText(const MdsEntry& entry, const MetadataKeyFacts& key, int64_t now) {
  if (entry.attestationRootCertificates.empty()) {
    return "not genuine: the metadata lists no attestation root for this model";
  }
  CertificateList roots;
  for (const std::vector<uint8_t>& root : entry.attestationRootCertificates) roots.AddDer(root);
  CertificateList chain;
  if (!chain.AddDer(key.attestationChain.front())) {
    return "not genuine: the attestation certificate cannot be read";
  }
  for (size_t i = 1; i < key.attestationChain.size(); ++i) chain.AddDer(key.attestationChain[i]);
  const ChainCheck check = CheckCertificateChain(chain, roots, now);
  if (!check.trusted) {
    return "not genuine: its attestation certificate does not chain to the roots the metadata "
           "lists for " +
           entry.description + " (the chain " + check.failure +
           "); this key is not a genuine key of that model";
  }
  std::string text = "genuine: chains to " + check.rootName;
  if (!check.timeProblem.empty()) text += " (" + check.timeProblem + ")";
  return text;
}

}  // namespace

bool IsCompromiseStatus(const std::string& status) {
  for (const char* compromise : kCompromiseStatuses) {
    if (status == compromise) return true;
  }
  return false;
}

std::vector<MetadataRow> BuildMetadataRows(const MdsBlob& blob, const MetadataKeyFacts& key,
                                           int64_t nowUnixSeconds) {
  std::vector<MetadataRow> rows;
  rows.push_back({"Metadata BLOB", BlobSummary(blob)});
  if (!blob.accepted()) return rows;

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
  if (aaguid.empty() && keyIdentifier.empty()) return rows;

  const MdsEntry* entry = aaguid.empty() ? nullptr : blob.index.FindByAaguid(aaguid);
  const bool byAaguid = entry != nullptr || keyIdentifier.empty();
  if (entry == nullptr && !keyIdentifier.empty()) {
    entry = blob.index.FindByKeyIdentifier(keyIdentifier);
  }
  rows.push_back({"Description", entry != nullptr && !entry->description.empty()
                                     ? entry->description
                                     : std::string(METADATA_UNKNOWN_MODEL)});
  if (byAaguid) {
    rows.push_back({"AAGUID", HyphenatedAaguid(aaguid)});
  } else {
    rows.push_back({"Attestation key identifier", keyIdentifier});
  }
  if (entry == nullptr) return rows;

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
  if (!entry->authenticatorGetInfo.is_null() && !key.getInfo.empty()) {
    const std::vector<std::string> differences = CompareDeclaredGetInfo(
        entry->authenticatorGetInfo, key.getInfo.data(), static_cast<uint32_t>(key.getInfo.size()));
    if (differences.empty()) rows.push_back({"Declared GetInfo", "matches the key"});
    for (const std::string& difference : differences) {
      rows.push_back({"Declared GetInfo", difference});
    }
  }
  if (!key.attestationChain.empty()) {
    rows.push_back({"Attestation chain", ChainText(*entry, key, nowUnixSeconds)});
  }
  return rows;
}
