#include "metadata/metadata_page.h"

#include <gtest/gtest.h>
#include <mbedtls/sha1.h>

#include "metadata/attestation_identity.h"
#include "metadata/base64url.h"
#include "metadata/declared_getinfo.h"
#include "simkey/sim_attestation.h"
#include "simkey/sim_default_key.h"
#include "tests/metadata/mds_test_pki.h"

namespace {

using Json = nlohmann::json;

const std::string kSimAaguid = LowerHex(SIMKEY_DEFAULT_AAGUID, sizeof SIMKEY_DEFAULT_AAGUID);

// The statement of the simulated key's model, as its maker would declare it.
Json DeclaredGetInfo() {
  Json options = Json::object();
  for (const SimOption& option : SIMKEY_OPTIONS) options[option.name] = option.value;
  Json algorithms = Json::array();
  for (int algorithm : SIMKEY_ALGORITHMS)
    algorithms.push_back({{"type", "public-key"}, {"alg", algorithm}});
  return {{"versions", {"FIDO_2_1", "FIDO_2_0", "U2F_V2"}},
          {"extensions", SIMKEY_EXTENSIONS},
          {"aaguid", kSimAaguid},
          {"options", options},
          {"maxMsgSize", SIMKEY_MAX_MSG_SIZE},
          {"pinUvAuthProtocols", {1, 2}},
          {"transports", {"usb", "nfc"}},
          {"algorithms", algorithms},
          {"firmwareVersion", SIMKEY_FIRMWARE_VERSION},
          {"remainingDiscoverableCredentials", 100}};
}

Json SimModelEntry(const std::vector<uint8_t>& attestationRoot) {
  return {{"aaguid", "514d2d53-494d-4b45-592d-414147554944"},
          {"metadataStatement",
           {{"description", "Simulated Key Model"},
            {"authenticatorVersion", 328199},
            {"attestationRootCertificates", {Base64Of(attestationRoot)}},
            {"authenticatorGetInfo", DeclaredGetInfo()}}},
          {"statusReports",
           {{{"status", "FIDO_CERTIFIED"}, {"effectiveDate", "2023-01-10"}},
            {{"status", "USER_VERIFICATION_BYPASS"}, {"effectiveDate", "2024-03-02"}},
            {{"status", "FIDO_CERTIFIED_L2"},
             {"effectiveDate", "2023-01-10"},
             {"certificateNumber", "FIDO20020230110001"},
             {"fipsRevision", 3},
             {"fipsPhysicalSecurityLevel", 3}}}}};
}

class MetadataPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static TestMdsWorld world;
    const SimAttestationMaterial& attestation = SimAttestation();
    ASSERT_EQ(attestation.chain.size(), 4u);
    Json u2fEntry = {
        {"attestationCertificateKeyIdentifiers", {U2fKeyIdentifier()}},
        {"metadataStatement", {{"description", "Simulated U2F Model"}}},
        {"statusReports", {{{"status", "FIDO_CERTIFIED"}, {"effectiveDate", "2019-01-01"}}}}};
    const std::string text = world.Blob(
        TestPayload(Json::array({SimModelEntry(attestation.chain[SIMKEY_CHAIN_ROOT]), u2fEntry})),
        JwsAlgorithm::kEs256);
    TrustStore trust(false);
    const std::string pem = world.RootPem();
    trust.AddRoot(std::vector<uint8_t>(pem.begin(), pem.end()));
    LoadMdsBlob(reinterpret_cast<const uint8_t*>(text.data()), text.size(), trust,
                FixedWallClock(TEST_NOW), blob_);
    ASSERT_EQ(blob_.verdict, MdsVerdict::kCurrent) << blob_.message;
  }

  // The SHA-1 of the attestation key's point, computed apart from the
  // certificate reader.
  static std::string U2fKeyIdentifier() {
    const std::vector<uint8_t>& point = SimAttestation().attestationPublicKey;
    uint8_t digest[20];
    mbedtls_sha1_ret(point.data(), point.size(), digest);
    return LowerHex(digest, sizeof digest);
  }

  std::vector<MetadataRow> Rows(const MetadataKeyFacts& key) {
    return BuildMetadataRows(blob_, key, TEST_NOW);
  }

  MdsBlob blob_;
};

std::vector<std::string> Items(const std::vector<MetadataRow>& rows) {
  std::vector<std::string> items;
  for (const MetadataRow& row : rows) items.push_back(row.item);
  return items;
}

TEST_F(MetadataPageTest, EveryRowInOrder) {
  MetadataKeyFacts key;
  key.aaguid = kSimAaguid;
  key.getInfo = SimDefaultGetInfo(true);
  const SimAttestationMaterial& attestation = SimAttestation();
  key.attestationChain = {attestation.chain[SIMKEY_CHAIN_LEAF],
                          attestation.chain[SIMKEY_CHAIN_INTERMEDIATE]};
  key.signature = AttestationSignature::kValid;
  const std::vector<MetadataRow> rows = Rows(key);
  EXPECT_EQ(Items(rows), (std::vector<std::string>{"Metadata BLOB", "Description", "AAGUID",
                                                   "Authenticator version", "Status",
                                                   "Status history", "Status history", "Warning",
                                                   "Declared GetInfo", "Attestation chain"}));
  EXPECT_EQ(rows[0].value,
            "no. 7, next update 2024-07-01, signed by Test BLOB Signer, root Test Metadata Root; "
            "revocation not checked (no revocation list)");
  EXPECT_EQ(rows[1].value, "Simulated Key Model");
  EXPECT_EQ(rows[2].value, "514d2d53-494d-4b45-592d-414147554944");
  EXPECT_EQ(rows[3].value, "328199 (the key's firmwareVersion: 328199)");
  EXPECT_EQ(rows[4].value, "USER_VERIFICATION_BYPASS, effective 2024-03-02");
  // Reports of one day keep the file's order.
  EXPECT_EQ(rows[5].value, "FIDO_CERTIFIED, effective 2023-01-10");
  EXPECT_EQ(rows[6].value,
            "FIDO_CERTIFIED_L2, effective 2023-01-10, certificate FIDO20020230110001, level L2, "
            "FIPS 140-3, FIPS physical security level 3");
  EXPECT_EQ(rows[7].value, "USER_VERIFICATION_BYPASS since 2024-03-02");
  // clientPin differs only because this key has a PIN; the state member
  // remainingDiscoverableCredentials is not compared.
  EXPECT_EQ(rows[8].value, "matches the key");
  EXPECT_EQ(rows[9].value, "cannot be trusted: USER_VERIFICATION_BYPASS since 2024-03-02");
}

TEST_F(MetadataPageTest, DeclaredGetInfoDifferencesOneRowPerMember) {
  std::vector<uint8_t> getInfo = SimDefaultGetInfo(false);
  Json declared = DeclaredGetInfo();
  declared["maxMsgSize"] = 2048;
  declared["versions"] = {"FIDO_2_0"};
  declared["options"]["rk"] = false;
  declared["options"]["clientPin"] = true;  // set up or not: not a difference
  declared["options"]["ep"] = true;         // the key lacks it entirely
  declared["maxRPIDsForSetMinPINLength"] = 4;
  const std::vector<std::string> rows =
      CompareDeclaredGetInfo(declared, getInfo.data(), static_cast<uint32_t>(getInfo.size()));
  EXPECT_EQ(rows,
            (std::vector<std::string>{
                "versions: metadata [\"FIDO_2_0\"], key [\"U2F_V2\",\"FIDO_2_0\",\"FIDO_2_1\"]",
                "options: ep metadata true, key none, rk metadata false, key true",
                "maxMsgSize: metadata 2048, key 1200"}));
  EXPECT_EQ(CompareDeclaredGetInfo(DeclaredGetInfo(), nullptr, 0).size(), 9u);
}

TEST_F(MetadataPageTest, LookUpByAaguidOrKeyIdentifier) {
  struct Case {
    const char* name;
    MetadataKeyFacts key;
    std::vector<std::string> firstRows;  // item=value, after the BLOB row
  };
  MetadataKeyFacts fromCertificate;
  fromCertificate.attestationChain = {SimAttestation().chain[SIMKEY_CHAIN_LEAF]};
  MetadataKeyFacts u2f;
  u2f.u2fAttestation = true;
  u2f.attestationChain = {SimAttestation().chain[SIMKEY_CHAIN_LEAF]};
  MetadataKeyFacts unknown;
  unknown.aaguid = "00112233445566778899aabbccddeeff";
  MetadataKeyFacts zero;
  zero.aaguid = std::string(32, '0');
  const Case cases[] = {
      {"AAGUID of the certificate",
       fromCertificate,
       {"Description=Simulated Key Model", "AAGUID=514d2d53-494d-4b45-592d-414147554944"}},
      {"U2F key identifier",
       u2f,
       {"Description=Simulated U2F Model", "Attestation key identifier=" + U2fKeyIdentifier()}},
      {"unknown model",
       unknown,
       {"Description=This key's model is not in the metadata.",
        "AAGUID=00112233-4455-6677-8899-aabbccddeeff"}},
      {"all-zero AAGUID", zero, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<MetadataRow> rows = Rows(c.key);
    std::vector<std::string> shown;
    for (size_t i = 1; i < rows.size() && shown.size() < c.firstRows.size(); ++i) {
      shown.push_back(rows[i].item + "=" + rows[i].value);
    }
    EXPECT_EQ(shown, c.firstRows);
    if (c.firstRows.empty()) {
      EXPECT_EQ(rows.size(), 2u);
      EXPECT_EQ(rows.back().value, "cannot be verified: the key names no model");
    }
  }
}

TEST(MetadataPageNoFile, BlobRowSaysWhatToDo) {
  MdsBlob none;
  MetadataKeyFacts key;
  key.aaguid = kSimAaguid;
  std::vector<MetadataRow> rows = BuildMetadataRows(none, key, TEST_NOW);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].value, METADATA_NO_FILE_TEXT);
  EXPECT_EQ(rows[1].value, "cannot be verified: no metadata file is loaded");

  MdsBlob rejected;
  TrustStore trust;
  LoadMdsBlob(reinterpret_cast<const uint8_t*>("x.y.z"), 5, trust, FixedWallClock(TEST_NOW),
              rejected);
  rows = BuildMetadataRows(rejected, key, TEST_NOW);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].value, rejected.message);
  EXPECT_EQ(rows[1].value, "cannot be verified: the metadata file was rejected");
}

TEST(MetadataBase64, StrictAndLooseForms) {
  struct Case {
    const char* text;
    bool url, standard, loose;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"", true, true, true, {}},
      {"_-8", true, false, false, {0xFF, 0xEF}},
      {"/+8=", false, true, true, {0xFF, 0xEF}},
      {"QQ", true, true, true, {'A'}},
      {"QR", false, false, true, {'A'}},  // unused bits set
      {"QQ==", false, true, true, {'A'}},
      {"Q\nQ\t=", false, false, true, {'A'}},
      {"Q", false, false, false, {}},
      {"QQ=", false, false, true, {'A'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<uint8_t> out;
    EXPECT_EQ(DecodeBase64Url(c.text, out), c.url);
    if (c.url) {
      EXPECT_EQ(out, c.bytes);
    }
    EXPECT_EQ(DecodeBase64Standard(c.text, out), c.standard);
    if (c.standard) {
      EXPECT_EQ(out, c.bytes);
    }
    EXPECT_EQ(DecodeBase64Loose(c.text, out), c.loose);
    if (c.loose) {
      EXPECT_EQ(out, c.bytes);
    }
  }
}

TEST(MetadataDates, ParseAndFormat) {
  int64_t seconds = 0;
  EXPECT_TRUE(ParseIsoDate("2024-02-29", seconds));
  EXPECT_EQ(FormatIsoDate(seconds), "2024-02-29");
  EXPECT_EQ(FormatIsoDate(UnixSecondsOf(2025, 12, 31, 23, 59, 59)), "2025-12-31");
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-1-01", "24-01-01", "2024-01-01T",
                          "1969-12-31", "2024/01/01"}) {
    EXPECT_FALSE(ParseIsoDate(bad, seconds)) << bad;
  }
}

}  // namespace
