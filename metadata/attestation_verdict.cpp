#include "metadata/attestation_verdict.h"

#include <cstring>
#include <set>
#include <vector>

#include "metadata/attestation_chain.h"
#include "metadata/attestation_identity.h"

const char* const VERDICT_GENUINE = "genuine";
const char* const VERDICT_NOT_GENUINE = "not genuine";
const char* const VERDICT_CANNOT_BE_TRUSTED = "cannot be trusted";
const char* const VERDICT_CANNOT_BE_VERIFIED = "cannot be verified";

namespace {

const std::string kZeroAaguid(32, '0');

// Byte strings compared by hand: GCC 12 warns falsely on vector comparison at -O3.
bool SameBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

std::string Say(const char* verdict, const std::string& reason) {
  return std::string(verdict) + ": " + reason;
}

// The model's description when the file lists it, else its AAGUID.
std::string ModelName(const MdsBlob& blob, const std::string& aaguid) {
  const MdsEntry* entry = blob.index.FindByAaguid(aaguid);
  if (entry != nullptr && !entry->description.empty()) return entry->description;
  return "the model " + HyphenatedAaguid(aaguid);
}

std::string EntryName(const MdsEntry& entry) {
  if (!entry.description.empty()) return entry.description;
  if (!entry.aaguid.empty()) return "the model " + HyphenatedAaguid(entry.aaguid);
  return "this model";
}

// "not genuine" when the AAGUIDs the key gave differ; "cannot be verified"
// when its attestation names no model; empty when they agree.
std::string AaguidProblem(const MdsBlob& blob, const MetadataKeyFacts& key) {
  std::string certificate;
  if (!key.attestationChain.empty()) {
    const std::vector<uint8_t>& leaf = key.attestationChain.front();
    certificate = CertificateAaguid(leaf.data(), leaf.size());
  }
  const std::string& getInfo = key.aaguid;
  const std::string& authData = key.authDataAaguid;
  if (!authData.empty() && authData == kZeroAaguid && (!getInfo.empty() || !certificate.empty())) {
    return Say(VERDICT_CANNOT_BE_VERIFIED,
               "the key's attestation names no model (its AAGUID is zero)");
  }
  const std::string& claimed = !getInfo.empty() ? getInfo : authData;
  const std::string& proven = !certificate.empty() ? certificate : authData;
  if (!claimed.empty() && !proven.empty() && claimed != proven) {
    return Say(VERDICT_NOT_GENUINE, "the key claims " + ModelName(blob, claimed) + " but its " +
                                        (!certificate.empty() ? "certificate" : "attestation") +
                                        " is " + ModelName(blob, proven) + "'s");
  }
  if (!authData.empty() && !certificate.empty() && authData != certificate) {
    return Say(VERDICT_NOT_GENUINE, "the key's attestation names " + ModelName(blob, authData) +
                                        " but its certificate is " + ModelName(blob, certificate) +
                                        "'s");
  }
  return {};
}

std::string CompromiseText(const MdsStatusReport& report, const MetadataKeyFacts& key) {
  std::string text = report.status;
  if (!report.effectiveDate.empty()) text += " since " + report.effectiveDate;
  if (!report.certificate.empty()) {
    if (key.attestationChain.empty()) {
      text +=
          "; the report names a compromised attestation certificate: fetch the key's to "
          "compare";
    } else if (SameBytes(key.attestationChain.front(), report.certificate)) {
      text += "; the compromised attestation certificate it names is this key's";
    } else {
      text += "; the compromised attestation certificate it names is not this key's";
    }
  }
  return Say(VERDICT_CANNOT_BE_TRUSTED, text);
}

std::string SignatureProblem(const MetadataKeyFacts& key) {
  switch (key.signature) {
    case AttestationSignature::kValid:
      return {};
    case AttestationSignature::kInvalid:
      return Say(VERDICT_NOT_GENUINE, "the key did not sign with the certificate's key");
    case AttestationSignature::kUnsupported:
      return Say(
          VERDICT_CANNOT_BE_VERIFIED,
          key.signatureProblem.empty()
              ? std::string("the attestation signature uses an algorithm that is not checked")
              : key.signatureProblem);
    case AttestationSignature::kNotChecked:
      break;
  }
  return Say(VERDICT_CANNOT_BE_VERIFIED, "the attestation signature was not checked");
}

// The roots the file lists for models other than this one, each once.
std::vector<std::vector<uint8_t>> OtherRoots(const MdsBlob& blob,
                                             const std::vector<std::vector<uint8_t>>& model) {
  std::set<std::string> seen;
  for (const std::vector<uint8_t>& root : model) seen.emplace(root.begin(), root.end());
  std::vector<std::vector<uint8_t>> others;
  for (const MdsEntry& entry : blob.payload.entries) {
    for (const std::vector<uint8_t>& root : entry.attestationRootCertificates) {
      if (seen.emplace(root.begin(), root.end()).second) others.push_back(root);
    }
  }
  return others;
}

// "Model A, Model B" of the entries listing `root`.
std::string ModelsListing(const MdsBlob& blob, const std::vector<uint8_t>& root) {
  constexpr size_t kNamed = 3;
  std::string names;
  size_t count = 0;
  for (const MdsEntry& entry : blob.payload.entries) {
    bool lists = false;
    for (const std::vector<uint8_t>& each : entry.attestationRootCertificates) {
      lists = lists || SameBytes(each, root);
    }
    if (!lists) continue;
    if (count < kNamed) names += (count == 0 ? "" : ", ") + EntryName(entry);
    ++count;
  }
  if (count > kNamed) names += " and " + std::to_string(count - kNamed) + " more";
  return names.empty() ? std::string("other models") : names;
}

std::string ChainVerdict(const MdsBlob& blob, const MetadataKeyFacts& key, const MdsEntry& entry,
                         int64_t now) {
  const std::string model = EntryName(entry);
  if (entry.attestationRootCertificates.empty()) {
    return Say(VERDICT_CANNOT_BE_VERIFIED, "the metadata lists no attestation root for " + model);
  }
  const AttestationChainResult chain = CheckAttestationChain(
      key.attestationChain, entry.attestationRootCertificates,
      [&] { return OtherRoots(blob, entry.attestationRootCertificates); }, now);
  using Kind = AttestationChainResult::Kind;
  switch (chain.kind) {
    case Kind::kTrusted:
      break;
    case Kind::kOtherRoot:
      return Say(VERDICT_NOT_GENUINE, "its certificate chains to " + chain.rootName +
                                          ", a root the metadata lists for " +
                                          ModelsListing(blob, chain.otherRoot) + ", not for " +
                                          model);
    case Kind::kForgedIssuer:
      return Say(VERDICT_NOT_GENUINE, chain.clause);
    case Kind::kUntrustedRoot:
      return Say(VERDICT_CANNOT_BE_VERIFIED, "its certificate chains to " + chain.rootName +
                                                 ", a root the metadata does not list for " +
                                                 model);
    case Kind::kIncomplete:
    case Kind::kUnchecked:
      return Say(VERDICT_CANNOT_BE_VERIFIED, chain.clause);
  }
  if (!blob.signerProblem.empty()) return Say(VERDICT_CANNOT_BE_VERIFIED, blob.signerProblem);
  std::string text = "chains to " + chain.rootName;
  if (!chain.timeProblem.empty()) text += " (" + chain.timeProblem + ")";
  text += "; metadata no. " + std::to_string(blob.payload.number);
  if (!blob.nextUpdatePassed.empty()) {
    text += "; metadata out of date since " + blob.nextUpdatePassed + ", newer reports may exist";
  }
  return Say(VERDICT_GENUINE, text);
}

}  // namespace

std::string AttestationVerdictText(const MdsBlob& blob, const MetadataKeyFacts& key,
                                   const ModelLookup& lookup, int64_t nowUnixSeconds) {
  if (blob.verdict == MdsVerdict::kNone) {
    return Say(VERDICT_CANNOT_BE_VERIFIED, "no metadata file is loaded");
  }
  if (!blob.accepted()) return Say(VERDICT_CANNOT_BE_VERIFIED, "the metadata file was rejected");
  const bool fetched = !key.attestationChain.empty();
  // What the key disproved comes first: no status makes a forgery better.
  if (fetched && key.signature == AttestationSignature::kInvalid) return SignatureProblem(key);
  if (std::string problem = AaguidProblem(blob, key); !problem.empty()) return problem;
  if (lookup.aaguid.empty() && lookup.keyIdentifier.empty()) {
    return Say(VERDICT_CANNOT_BE_VERIFIED, "the key names no model");
  }
  if (lookup.entry == nullptr) {
    return Say(VERDICT_CANNOT_BE_VERIFIED, "this key's model is not in the metadata");
  }
  if (!lookup.entry->statusReports.empty() &&
      IsCompromiseStatus(lookup.entry->statusReports.front().status)) {
    return CompromiseText(lookup.entry->statusReports.front(), key);
  }
  if (!fetched) {
    return Say(VERDICT_CANNOT_BE_VERIFIED,
               "no certificate fetch made yet (double click a certification page, or report with "
               "--fetch)");
  }
  if (std::string problem = SignatureProblem(key); !problem.empty()) return problem;
  return ChainVerdict(blob, key, *lookup.entry, nowUnixSeconds);
}

std::string VerdictOf(const std::string& rowText) {
  for (const char* verdict : {VERDICT_GENUINE, VERDICT_NOT_GENUINE, VERDICT_CANNOT_BE_TRUSTED,
                              VERDICT_CANNOT_BE_VERIFIED}) {
    const std::string prefix = std::string(verdict) + ":";
    if (rowText.compare(0, prefix.size(), prefix) == 0) return verdict;
  }
  return {};
}
