#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "metadata/mds_blob.h"

#include <mbedtls/x509.h>
#include "tests/metadata/mds_test_pki.h"

namespace {

using Json = nlohmann::json;

Json YubiLikeEntry() {
  return {{"aaguid", "cb69481e-8ff7-4039-93ec-0a2729a154a8"},
          {"metadataStatement",
           {{"description", "Test Key 5"},
            {"authenticatorVersion", 50100},
            {"protocolFamily", "fido2"},
            {"attestationTypes", {"basic_full"}},
            {"keyProtection", {"hardware", "secure_element"}},
            {"attestationRootCertificates", Json::array()}}},
          {"statusReports", {{{"status", "FIDO_CERTIFIED_L1"}, {"effectiveDate", "2020-05-12"}}}},
          {"timeOfLastStatusChange", "2020-05-12"}};
}

class MdsBlobTest : public ::testing::Test {
 protected:
  static TestMdsWorld& World() {
    static TestMdsWorld world;
    return world;
  }
  void Load(const std::string& text, int64_t now = TEST_NOW) {
    FixedWallClock clock(now);
    LoadMdsBlob(reinterpret_cast<const uint8_t*>(text.data()), text.size(), trust_, clock, blob_);
  }
  TrustStore trust_{false};
  MdsBlob blob_;

  void SetUp() override {
    const std::string pem = World().RootPem();
    ASSERT_TRUE(trust_.AddRoot(std::vector<uint8_t>(pem.begin(), pem.end())));
  }
};

TEST_F(MdsBlobTest, VerdictsOnGeneratedFiles) {
  const Json payload = TestPayload(Json::array({YubiLikeEntry()}));
  const std::string es256 = World().Blob(payload, JwsAlgorithm::kEs256);
  const std::string rs256 = World().Blob(payload, JwsAlgorithm::kRs256);
  struct Case {
    const char* name;
    std::string text;
    int64_t now;
    MdsVerdict verdict;
    const char* message;  // a part of the sentence
  } cases[] = {
      {"ES256", es256, TEST_NOW, MdsVerdict::kCurrent, ""},
      {"RS256", rs256, TEST_NOW, MdsVerdict::kCurrent, ""},
      {"RS256 with a line break", rs256 + "\n", TEST_NOW, MdsVerdict::kCurrent, ""},
      {"next update passed", es256, UnixSecondsOf(2024, 7, 1), MdsVerdict::kOutOfDate,
       "its next update was due on 2024-07-01"},
      {"signer expired", rs256, UnixSecondsOf(2026, 1, 1), MdsVerdict::kOutOfDate,
       "the certificate Test BLOB Signer expired on 2025-12-31"},
      {"signer not yet valid", es256, UnixSecondsOf(2023, 6, 1), MdsVerdict::kOutOfDate,
       "is not valid before 2024-01-01"},
      {"stranger's root", World().Blob(payload, JwsAlgorithm::kEs256, true), TEST_NOW,
       MdsVerdict::kRejected, "does not end at a trusted root"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Load(c.text, c.now);
    EXPECT_EQ(blob_.verdict, c.verdict) << blob_.message;
    EXPECT_NE(blob_.message.find(c.message), std::string::npos) << blob_.message;
    if (c.verdict == MdsVerdict::kRejected) {
      EXPECT_TRUE(blob_.payload.entries.empty());
      EXPECT_EQ(blob_.index.FindByAaguid("cb69481e8ff7403993ec0a2729a154a8"), nullptr);
      continue;
    }
    EXPECT_EQ(blob_.payload.number, 7);
    EXPECT_EQ(blob_.signerName, "Test BLOB Signer");
    EXPECT_EQ(blob_.rootName, "Test Metadata Root");
    ASSERT_NE(blob_.index.FindByAaguid("CB69481E8FF7403993EC0A2729A154A8"), nullptr);
  }
}

// Each change of a good file is rejected with its own sentence.
TEST_F(MdsBlobTest, DamagedFilesAreRejected) {
  const std::string good =
      World().Blob(TestPayload(Json::array({YubiLikeEntry()})), JwsAlgorithm::kEs256);
  const size_t firstDot = good.find('.');
  const size_t secondDot = good.find('.', firstDot + 1);
  auto changed = [&](size_t at) {
    std::string text = good;
    text[at] = text[at] == 'A' ? 'B' : 'A';
    return text;
  };
  auto header = [&](const Json& json) { return Base64UrlOf(json.dump()) + good.substr(firstDot); };
  const std::string x5c = Base64Of(World().ecSigner);
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  } cases[] = {
      {"empty", "", "it is empty"},
      {"two parts", good.substr(0, secondDot), "three parts"},
      {"four parts", good + ".AAAA", "three parts"},
      {"truncated signature", good.substr(0, good.size() - 10), "signature"},
      {"payload byte changed", changed(firstDot + 40), "does not match its content"},
      {"signature byte changed", changed(secondDot + 5), "does not match its content"},
      {"header byte changed", changed(3), "header"},
      {"bad base64url in the payload",
       good.substr(0, firstDot + 5) + "*" + good.substr(firstDot + 6),
       "payload is not valid base64url"},
      {"padding in the signature", good + "=", "signature is not valid base64url"},
      {"alg none", header({{"alg", "none"}, {"x5c", {x5c}}}), "\"none\" is not supported"},
      {"alg HS256", header({{"alg", "HS256"}, {"x5c", {x5c}}}), "not supported"},
      {"alg missing", header({{"x5c", {x5c}}}), "names no signature algorithm"},
      {"alg a number", header({{"alg", 7}, {"x5c", {x5c}}}), "names no signature algorithm"},
      {"x5c missing", header({{"alg", "ES256"}}), "no certificate chain"},
      {"x5c empty", header({{"alg", "ES256"}, {"x5c", Json::array()}}), "no certificate chain"},
      {"x5c not base64", header({{"alg", "ES256"}, {"x5c", {"@@@@"}}}), "not valid base64"},
      {"x5c not a certificate", header({{"alg", "ES256"}, {"x5c", {"AAAA"}}}), "cannot be read"},
      {"RS256 named, EC key", header({{"alg", "RS256"}, {"x5c", {x5c}}}), "not an RSA key"},
      {"ES256 named, RSA key", header({{"alg", "ES256"}, {"x5c", {Base64Of(World().rsaSigner)}}}),
       "not a P-256 key"},
      {"header not JSON", Base64UrlOf("{\"alg\":") + good.substr(firstDot), "not a JSON object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Load(c.text);
    EXPECT_EQ(blob_.verdict, MdsVerdict::kRejected);
    EXPECT_EQ(blob_.message.rfind("The metadata file is rejected: ", 0), 0u) << blob_.message;
    EXPECT_NE(blob_.message.find(c.message), std::string::npos) << blob_.message;
    EXPECT_TRUE(blob_.payload.entries.empty());
  }
}

// Signed payloads with members of the wrong type or out of range.
TEST_F(MdsBlobTest, BadPayloadsAreRejected) {
  auto withEntry = [](const std::function<void(Json&)>& change) {
    Json entry = YubiLikeEntry();
    change(entry);
    return TestPayload(Json::array({entry}));
  };
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "[";
  struct Case {
    const char* name;
    std::string payload;
    const char* message;
  } cases[] = {
      {"not JSON", "no=7", "not a JSON object"},
      {"an array", "[1,2]", "not a JSON object"},
      {"deep nesting", "{\"entries\":" + deep, "nested too deeply"},
      {"no a string",
       Json({{"no", "7"}, {"nextUpdate", "2024-07-01"}, {"entries", Json::array()}}).dump(),
       "no is not an integer"},
      {"no negative",
       Json({{"no", -1}, {"nextUpdate", "2024-07-01"}, {"entries", Json::array()}}).dump(),
       "no is out of range"},
      {"no huge", "{\"no\":1e300,\"nextUpdate\":\"2024-07-01\",\"entries\":[]}",
       "no is not an integer"},
      {"no beyond 64 bits",
       "{\"no\":123456789012345678901234567890,\"nextUpdate\":\"2024-07-01\",\"entries\":[]}",
       "no is not an integer"},
      {"no missing", Json({{"nextUpdate", "2024-07-01"}, {"entries", Json::array()}}).dump(),
       "no serial number"},
      {"nextUpdate not a date",
       Json({{"no", 1}, {"nextUpdate", "2024-02-30"}, {"entries", Json::array()}}).dump(),
       "nextUpdate"},
      {"entries an object",
       Json({{"no", 1}, {"nextUpdate", "2024-07-01"}, {"entries", Json::object()}}).dump(),
       "no list of entries"},
      {"aaguid a number", withEntry([](Json& e) { e["aaguid"] = 5; }).dump(),
       "entry 1: aaguid is not a string"},
      {"aaguid not a UUID", withEntry([](Json& e) { e["aaguid"] = "cb69481e-8ff7"; }).dump(),
       "entry 1: aaguid is not a UUID"},
      {"key identifier not hex",
       withEntry([](Json& e) { e["attestationCertificateKeyIdentifiers"] = {"xyz0"}; }).dump(),
       "not hex"},
      {"statusReports missing", withEntry([](Json& e) { e.erase("statusReports"); }).dump(),
       "statusReports is missing"},
      {"status report without status", withEntry([](Json& e) {
                                         e["statusReports"] = {{{"effectiveDate", "2020-01-01"}}};
                                       }).dump(),
       "has no status"},
      {"effective date wrong",
       withEntry([](Json& e) { e["statusReports"][0]["effectiveDate"] = "yesterday"; }).dump(),
       "effectiveDate is not a date"},
      {"version too large", withEntry([](Json& e) {
                              e["metadataStatement"]["authenticatorVersion"] = 1LL << 40;
                            }).dump(),
       "authenticatorVersion is out of range"},
      {"roots not text", withEntry([](Json& e) {
                           e["metadataStatement"]["attestationRootCertificates"] = {1, 2};
                         }).dump(),
       "attestationRootCertificates holds a value that is not a string"},
      {"getInfo an array", withEntry([](Json& e) {
                             e["metadataStatement"]["authenticatorGetInfo"] = Json::array();
                           }).dump(),
       "authenticatorGetInfo is not an object"},
      {"user verification malformed", withEntry([](Json& e) {
                                        e["metadataStatement"]["userVerificationDetails"] = {{"x"}};
                                      }).dump(),
       "userVerificationDetails is malformed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Json header = {{"alg", "ES256"}, {"x5c", {Base64Of(World().ecSigner)}}};
    Load(SignCompactJws(header.dump(), c.payload, JwsAlgorithm::kEs256, World().ecSignerKey,
                        World().random));
    EXPECT_EQ(blob_.verdict, MdsVerdict::kRejected);
    EXPECT_NE(blob_.message.find(c.message), std::string::npos) << blob_.message;
  }
}

TEST_F(MdsBlobTest, FilesTooLargeOrMissingAreRejectedBeforeReading) {
  char path[] = "/tmp/quillmark-mds-XXXXXX";
  const int descriptor = mkstemp(path);
  ASSERT_GE(descriptor, 0);
  // A sparse 100 MB file: refused by its size, never read.
  ASSERT_EQ(ftruncate(descriptor, 100LL * 1024 * 1024), 0);
  close(descriptor);
  FixedWallClock clock(TEST_NOW);
  LoadMdsFile(path, trust_, clock, blob_);
  EXPECT_EQ(blob_.verdict, MdsVerdict::kRejected);
  EXPECT_NE(blob_.message.find("is too large"), std::string::npos) << blob_.message;
  std::remove(path);

  LoadMdsFile(path, trust_, clock, blob_);
  EXPECT_EQ(blob_.verdict, MdsVerdict::kRejected);
  EXPECT_NE(blob_.message.find("cannot be opened"), std::string::npos) << blob_.message;
}

// The built-in roots alone do not trust a file of another publisher; a root
// named in a file does.
TEST_F(MdsBlobTest, AddedRootFileIsTrusted) {
  const std::string text =
      World().Blob(TestPayload(Json::array({YubiLikeEntry()})), JwsAlgorithm::kRs256);
  FixedWallClock clock(TEST_NOW);
  TrustStore builtIn;
  LoadMdsBlob(reinterpret_cast<const uint8_t*>(text.data()), text.size(), builtIn, clock, blob_);
  EXPECT_EQ(blob_.verdict, MdsVerdict::kRejected);

  for (const bool pem : {true, false}) {
    char path[] = "/tmp/quillmark-root-XXXXXX";
    const int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    {
      std::ofstream out(path, std::ios::binary);
      if (pem) {
        out << World().RootPem();
      } else {
        out.write(reinterpret_cast<const char*>(World().root.data()),
                  static_cast<std::streamsize>(World().root.size()));
      }
    }
    TrustStore withRoot;
    std::string error;
    EXPECT_TRUE(withRoot.AddRootFile(path, error)) << error;
    LoadMdsBlob(reinterpret_cast<const uint8_t*>(text.data()), text.size(), withRoot, clock, blob_);
    EXPECT_EQ(blob_.verdict, MdsVerdict::kCurrent) << blob_.message;
    std::remove(path);
  }
  std::string error;
  EXPECT_FALSE(TrustStore().AddRootFile("/nonexistent/root.pem", error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos);
}

// Under a built-in root only the metadata service's own name signs; under a
// root the user names, any name does; digitalSignature is needed under both.
TEST_F(MdsBlobTest, SignerNameAndKeyUsage) {
  TestMdsWorld& w = World();
  const std::string root = "C=US,O=Test Metadata Publisher,CN=Test Metadata Root";
  const unsigned signing = MBEDTLS_X509_KU_DIGITAL_SIGNATURE | MBEDTLS_X509_KU_KEY_ENCIPHERMENT;
  struct Case {
    const char* subject;
    const char* dnsName;
    unsigned usage;
    bool builtIn;
    const char* rejection;  // empty: accepted
  } cases[] = {
      {"CN=mds.fidoalliance.org", "", signing, true, ""},
      {"CN=MDS.FidoAlliance.org", "", 0, true, ""},
      {"CN=Metadata Signer", "mds.fidoalliance.org", 0, true, ""},
      {"CN=*.fidoalliance.org", "*.fidoalliance.org", 0, true, "is not mds.fidoalliance.org"},
      {"CN=Test BLOB Signer", "", 0, true,
       "its signer Test BLOB Signer is not mds.fidoalliance.org, the only signer trusted under the "
       "built-in root Test Metadata Root"},
      {"CN=Test BLOB Signer", "", 0, false, ""},
      {"CN=mds.fidoalliance.org", "", MBEDTLS_X509_KU_KEY_ENCIPHERMENT, true,
       "its signer mds.fidoalliance.org may not make digital signatures"},
      {"CN=Test BLOB Signer", "", MBEDTLS_X509_KU_KEY_CERT_SIGN, false,
       "may not make digital signatures"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.subject) + (c.builtIn ? " under a built-in root" : ""));
    const std::vector<uint8_t> signer =
        IssueCertificate({c.subject, root, &w.ecSignerKey, &w.rootKey, "20240101000000",
                          "20251231235959", false, c.usage, c.dnsName},
                         w.random);
    const std::string text =
        w.BlobSignedBy(TestPayload(Json::array({YubiLikeEntry()})), signer, w.ecSignerKey);
    TrustStore builtIn({w.root});
    TrustStore& trust = c.builtIn ? builtIn : trust_;
    LoadMdsBlob(reinterpret_cast<const uint8_t*>(text.data()), text.size(), trust,
                FixedWallClock(TEST_NOW), blob_);
    if (c.rejection[0] == '\0') {
      EXPECT_EQ(blob_.verdict, MdsVerdict::kCurrent) << blob_.message;
    } else {
      EXPECT_EQ(blob_.verdict, MdsVerdict::kRejected);
      EXPECT_NE(blob_.message.find(c.rejection), std::string::npos) << blob_.message;
    }
  }
}

// Any list the issuer signed revokes, however old; only a current one
// counts as a check.
TEST_F(MdsBlobTest, RevocationListsOfTheSigningChain) {
  TestMdsWorld& w = World();
  const std::string url = "http://crl.test/root.crl";
  const std::vector<uint8_t> signer =
      IssueCertificate({"CN=Test BLOB Signer",
                        "C=US,O=Test Metadata Publisher,CN=Test Metadata Root",
                        &w.ecSignerKey,
                        &w.rootKey,
                        "20240101000000",
                        "20251231235959",
                        false,
                        0,
                        "",
                        {url}},
                       w.random);
  const std::string text =
      w.BlobSignedBy(TestPayload(Json::array({YubiLikeEntry()})), signer, w.ecSignerKey);
  const auto crl = [&](const std::vector<uint8_t>& issuer, TestKey& key, const char* from,
                       const char* to, bool revoke) {
    return IssueCrl(
        issuer, key, from, to,
        revoke ? std::vector<std::vector<uint8_t>>{signer} : std::vector<std::vector<uint8_t>>{},
        "240515120000", w.random);
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> list;
    MdsVerdict verdict;
    bool checked;
  } cases[] = {
      {"no list", {}, MdsVerdict::kCurrent, false},
      {"current list", crl(w.root, w.rootKey, "240501000000", "240701000000", false),
       MdsVerdict::kCurrent, true},
      {"stale list", crl(w.root, w.rootKey, "240101000000", "240301000000", false),
       MdsVerdict::kCurrent, false},
      {"list of the same name by another key",
       crl(w.strangerRoot, w.strangerKey, "240501000000", "240701000000", true),
       MdsVerdict::kCurrent, false},
      {"stale list revoking it", crl(w.root, w.rootKey, "240101000000", "240301000000", true),
       MdsVerdict::kRejected, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trust_.revocationLists().Clear();
    if (!c.list.empty()) {
      ASSERT_EQ(trust_.revocationLists().AddPemOrDer(c.list), 1u);
    }
    Load(text);
    EXPECT_EQ(blob_.verdict, c.verdict) << blob_.message;
    EXPECT_EQ(blob_.revocationChecked, c.checked);
    if (c.verdict == MdsVerdict::kRejected) {
      EXPECT_EQ(blob_.message,
                "The metadata file is rejected: the certificate Test BLOB Signer of its signing "
                "chain was revoked on 2024-05-15.");
    } else {
      ASSERT_EQ(blob_.crlSources.size(), 1u);
      EXPECT_EQ(blob_.crlSources[0].address, url);
      EXPECT_EQ(blob_.crlSources[0].issuer, w.root);
    }
  }
}

}  // namespace
