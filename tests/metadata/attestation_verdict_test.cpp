// The verdict of the "Attestation chain" row over one table of keys: only a
// key that proved everything is called genuine, and only a disproof is
// called not genuine.
#include "metadata/attestation_verdict.h"

#include <gtest/gtest.h>

#include "metadata/attestation_identity.h"
#include "simkey/sim_attestation.h"
#include "simkey/sim_default_key.h"
#include "tests/metadata/mds_test_pki.h"

namespace {

using Json = nlohmann::json;

const std::string kSimAaguid = LowerHex(SIMKEY_DEFAULT_AAGUID, sizeof SIMKEY_DEFAULT_AAGUID);
const char kOtherAaguid[] = "00112233445566778899aabbccddeeff";

TestMdsWorld& World() {
  static TestMdsWorld world;
  return world;
}

Json Reports(std::initializer_list<std::pair<const char*, const char*>> statusAndDate) {
  Json reports = Json::array();
  for (const auto& [status, date] : statusAndDate) {
    reports.push_back({{"status", status}, {"effectiveDate", date}});
  }
  return reports;
}

const Json kCertified = Reports({{"FIDO_CERTIFIED_L1", "2024-02-01"}});

Json SimEntry(const Json& reports) {
  return SimulatedModelEntry(SimAttestation().chain[SIMKEY_CHAIN_ROOT], reports);
}

// Another model, attesting under the test world's stranger root.
Json OtherEntry() {
  return {{"aaguid", kOtherAaguid},
          {"metadataStatement",
           {{"description", "Other Model"},
            {"attestationRootCertificates", {Base64Of(World().strangerRoot)}}}},
          {"statusReports", kCertified}};
}

// The simulated key after a fetch that proved its signature.
MetadataKeyFacts FetchedKey(std::vector<std::vector<uint8_t>> chain = {}) {
  MetadataKeyFacts key;
  key.aaguid = kSimAaguid;
  key.authDataAaguid = kSimAaguid;
  key.attestationChain =
      chain.empty()
          ? std::vector<std::vector<uint8_t>>{SimAttestation().chain[SIMKEY_CHAIN_LEAF],
                                              SimAttestation().chain[SIMKEY_CHAIN_INTERMEDIATE]}
          : chain;
  key.signature = AttestationSignature::kValid;
  return key;
}

// A leaf naming the simulated intermediate as issuer, signed by another key.
std::vector<uint8_t> ForgedLeaf() {
  static TestKey leafKey, forgerKey;
  static SimRandom random{"forged leaf"};
  static const bool made = leafKey.GenerateEc(random) && forgerKey.GenerateEc(random);
  EXPECT_TRUE(made);
  return IssueCertificate(
      {"C=US,O=Simulated Key Maker,OU=Authenticator Attestation,CN=Simulated Key Attestation",
       "C=US,O=Simulated Key Maker,CN=Simulated Key Maker Intermediate CA", &leafKey, &forgerKey,
       "20240101000000", "20491231235959", false},
      random);
}

struct VerdictCase {
  const char* name;
  Json entries;
  MetadataKeyFacts key;
  int64_t now;
  const char* verdict;
  std::string reason;  // a part of the text after the colon
};

TEST(AttestationVerdict, OneTableOfKeys) {
  MetadataKeyFacts wrongSignature = FetchedKey();
  wrongSignature.signature = AttestationSignature::kInvalid;
  MetadataKeyFacts u2fWrongSignature = wrongSignature;
  u2fWrongSignature.u2fAttestation = true;
  u2fWrongSignature.authDataAaguid.clear();
  MetadataKeyFacts unsupported = FetchedKey();
  unsupported.signature = AttestationSignature::kUnsupported;
  unsupported.signatureProblem = "the key signed with algorithm -8, which is not checked";
  MetadataKeyFacts notFetched;
  notFetched.aaguid = kSimAaguid;
  MetadataKeyFacts claimsOther = FetchedKey();
  claimsOther.aaguid = kOtherAaguid;
  MetadataKeyFacts zeroInAuthData = FetchedKey();
  zeroInAuthData.authDataAaguid = std::string(32, '0');
  MetadataKeyFacts compromisedCertificate = FetchedKey();
  Json reportWithCertificate = {
      {"status", "ATTESTATION_KEY_COMPROMISE"},
      {"effectiveDate", "2024-04-01"},
      {"certificate", Base64Of(SimAttestation().chain[SIMKEY_CHAIN_LEAF])}};
  Json duplicate =
      Json::array({SimEntry(kCertified), SimEntry(Reports({{"REVOKED", "2024-03-01"}}))});

  const VerdictCase cases[] = {
      {"genuine",
       {SimEntry(kCertified)},
       FetchedKey(),
       TEST_NOW,
       VERDICT_GENUINE,
       "chains to Simulated Key Maker Root CA; metadata no. 7"},
      {"next update passed",
       {SimEntry(kCertified)},
       FetchedKey(),
       UnixSecondsOf(2024, 8, 1),
       VERDICT_GENUINE,
       "; metadata out of date since 2024-07-01, newer reports may exist"},
      {"wrong signature",
       {SimEntry(kCertified)},
       wrongSignature,
       TEST_NOW,
       VERDICT_NOT_GENUINE,
       "the key did not sign with the certificate's key"},
      {"U2F wrong signature",
       {SimEntry(kCertified)},
       u2fWrongSignature,
       TEST_NOW,
       VERDICT_NOT_GENUINE,
       "did not sign"},
      {"claims another model",
       {SimEntry(kCertified), OtherEntry()},
       claimsOther,
       TEST_NOW,
       VERDICT_NOT_GENUINE,
       "the key claims Other Model but its certificate is Simulated Key Model's"},
      {"another model's root",
       {SimEntry(kCertified), OtherEntry()},
       FetchedKey({World().strangerSigner}),
       TEST_NOW,
       VERDICT_NOT_GENUINE,
       "a root the metadata lists for Other Model, not for Simulated Key Model"},
      {"forged issuer",
       {SimEntry(kCertified)},
       FetchedKey({ForgedLeaf(), SimAttestation().chain[SIMKEY_CHAIN_INTERMEDIATE]}),
       TEST_NOW,
       VERDICT_NOT_GENUINE,
       "did not sign it"},
      {"own root",
       {SimEntry(kCertified)},
       FetchedKey({World().strangerSigner, World().strangerRoot}),
       TEST_NOW,
       VERDICT_CANNOT_BE_VERIFIED,
       "a root the metadata does not list for Simulated Key Model"},
      {"missing intermediate",
       {SimEntry(kCertified)},
       FetchedKey({SimAttestation().chain[SIMKEY_CHAIN_LEAF]}),
       TEST_NOW,
       VERDICT_CANNOT_BE_VERIFIED,
       "an intermediate certificate may be missing"},
      {"unchecked algorithm",
       {SimEntry(kCertified)},
       unsupported,
       TEST_NOW,
       VERDICT_CANNOT_BE_VERIFIED,
       "algorithm -8"},
      {"no fetch",
       {SimEntry(kCertified)},
       notFetched,
       TEST_NOW,
       VERDICT_CANNOT_BE_VERIFIED,
       "no certificate fetch"},
      {"zero AAGUID in the attestation",
       {SimEntry(kCertified)},
       zeroInAuthData,
       TEST_NOW,
       VERDICT_CANNOT_BE_VERIFIED,
       "names no model"},
      {"expired signer",
       {SimEntry(kCertified)},
       FetchedKey(),
       UnixSecondsOf(2026, 2, 1),
       VERDICT_CANNOT_BE_VERIFIED,
       "expired on 2025-12-31"},
      {"revoked",
       {SimEntry(Reports({{"REVOKED", "2024-05-02"}, {"FIDO_CERTIFIED", "2024-01-01"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "REVOKED since 2024-05-02"},
      {"revoked, no fetch",
       {SimEntry(Reports({{"REVOKED", "2024-05-02"}}))},
       notFetched,
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "REVOKED"},
      {"key compromise",
       {SimEntry(Reports({{"ATTESTATION_KEY_COMPROMISE", "2024-05-02"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "ATTESTATION_KEY_COMPROMISE"},
      {"UV bypass",
       {SimEntry(Reports({{"USER_VERIFICATION_BYPASS", "2024-05-02"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "USER_VERIFICATION_BYPASS"},
      {"remote compromise",
       {SimEntry(Reports({{"USER_KEY_REMOTE_COMPROMISE", "2024-05-02"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "USER_KEY_REMOTE_COMPROMISE"},
      {"physical compromise",
       {SimEntry(Reports({{"USER_KEY_PHYSICAL_COMPROMISE", "2024-05-02"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "USER_KEY_PHYSICAL_COMPROMISE"},
      {"same day, certified listed first",
       {SimEntry(Reports({{"FIDO_CERTIFIED", "2024-05-02"}, {"REVOKED", "2024-05-02"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "REVOKED since 2024-05-02"},
      {"same day, revoked listed first",
       {SimEntry(Reports({{"REVOKED", "2024-05-02"}, {"FIDO_CERTIFIED", "2024-05-02"}}))},
       FetchedKey(),
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "REVOKED since 2024-05-02"},
      {"listed twice, the second revoked", duplicate, FetchedKey(), TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED, "REVOKED since 2024-03-01"},
      {"report names this key's certificate",
       {SimEntry(Json::array({reportWithCertificate}))},
       compromisedCertificate,
       TEST_NOW,
       VERDICT_CANNOT_BE_TRUSTED,
       "the compromised attestation certificate it names is this key's"},
  };
  const std::string rootPem = World().RootPem();
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.name);
    TrustStore trust(false);
    trust.AddRoot(std::vector<uint8_t>(rootPem.begin(), rootPem.end()));
    const std::string text = World().Blob(TestPayload(c.entries), JwsAlgorithm::kEs256);
    MdsBlob blob;
    LoadMdsBlob(reinterpret_cast<const uint8_t*>(text.data()), text.size(), trust,
                FixedWallClock(c.now), blob);
    ASSERT_TRUE(blob.accepted()) << blob.message;
    const std::vector<MetadataRow> rows = BuildMetadataRows(blob, c.key, c.now);
    ASSERT_EQ(rows.back().item, METADATA_VERDICT_ITEM);
    EXPECT_EQ(VerdictOf(rows.back().value), c.verdict) << rows.back().value;
    EXPECT_NE(rows.back().value.find(c.reason), std::string::npos) << rows.back().value;
    if (c.entries.size() > 1 && c.entries[0]["aaguid"] == c.entries[1]["aaguid"]) {
      EXPECT_EQ(rows[4].value, "REVOKED, effective 2024-03-01");
      EXPECT_NE(std::find_if(rows.begin(), rows.end(),
                             [](const MetadataRow& row) {
                               return row.value.find("lists this model 2 times") !=
                                      std::string::npos;
                             }),
                rows.end());
    }
  }
}

}  // namespace
