// The published files of the metadata service, read in place from the shared
// data folder beside the source tree.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "metadata/certificate_list.h"
#include "metadata/chain_check.h"
#include "metadata/compact_jws.h"
#include "metadata/crl_distribution_points.h"
#include "metadata/file_bytes.h"
#include "metadata/mds_blob.h"
#include "metadata/metadata_page.h"
#include "metadata/metadata_signer.h"

namespace {

std::string DataPath(const char* name) {
  const char* folder = std::getenv("QUILLMARK_MDS_DATA_DIR");
#ifdef QUILLMARK_MDS_DATA_DIR
  if (folder == nullptr) folder = QUILLMARK_MDS_DATA_DIR;
#endif
  return folder == nullptr ? std::string() : std::string(folder) + "/" + name;
}

bool Exists(const std::string& path) {
  struct stat status {};
  return !path.empty() && stat(path.c_str(), &status) == 0;
}

#define REQUIRE_DATA(path)                                                           \
  if (!Exists(path)) {                                                               \
    GTEST_SKIP() << "the shared metadata folder is absent (" << path                 \
                 << "); set QUILLMARK_MDS_DATA_DIR to the folder of the real files"; \
  }

struct Counts {
  size_t entries = 0, withAaguid = 0, withKeyIdentifiers = 0, withAaid = 0;
};

Counts CountEntries(const MdsPayload& payload) {
  Counts counts;
  for (const MdsEntry& entry : payload.entries) {
    ++counts.entries;
    counts.withAaguid += entry.aaguid.empty() ? 0 : 1;
    counts.withKeyIdentifiers += entry.keyIdentifiers.empty() ? 0 : 1;
    counts.withAaid += entry.aaid.empty() ? 0 : 1;
  }
  return counts;
}

TEST(MdsRealFiles, ProductionBlobs) {
  struct Case {
    const char* file;
    int64_t insideLeaf;
    int64_t number;
    const char* nextUpdate;
    Counts counts;
  } cases[] = {
      {"mds3-blob-no9-2021-11-11.jwt",
       UnixSecondsOf(2021, 6, 1),
       9,
       "2021-12-01",
       {98, 46, 35, 17}},
      {"mds3-blob-no121-2024-12-02.jwt",
       UnixSecondsOf(2024, 8, 1),
       121,
       "2025-01-01",
       {280, 188, 75, 17}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = DataPath(c.file);
    REQUIRE_DATA(path);
    TrustStore trust;
    MdsBlob blob;
    LoadMdsFile(path, trust, FixedWallClock(c.insideLeaf), blob);
    ASSERT_EQ(blob.verdict, MdsVerdict::kCurrent) << blob.message;
    EXPECT_EQ(blob.payload.number, c.number);
    EXPECT_EQ(blob.payload.nextUpdate, c.nextUpdate);
    EXPECT_EQ(blob.signerName, "mds.fidoalliance.org");
    EXPECT_EQ(blob.rootName, "GlobalSign Root CA - R3");
    ASSERT_EQ(blob.crlSources.size(), 2u);
    EXPECT_EQ(blob.crlSources[0].address, "http://crl.globalsign.com/gs/gsextendvalsha2g3r3.crl");
    EXPECT_EQ(blob.crlSources[1].address, "http://crl.globalsign.com/root-r3.crl");
    EXPECT_FALSE(blob.revocationChecked);
    const Counts counts = CountEntries(blob.payload);
    EXPECT_EQ(counts.entries, c.counts.entries);
    EXPECT_EQ(counts.withAaguid, c.counts.withAaguid);
    EXPECT_EQ(counts.withKeyIdentifiers, c.counts.withKeyIdentifiers);
    EXPECT_EQ(counts.withAaid, c.counts.withAaid);

    // Authentic after its month, but no longer current.
    LoadMdsFile(path, trust, FixedWallClock(UnixSecondsOf(2026, 12, 9)), blob);
    EXPECT_EQ(blob.verdict, MdsVerdict::kOutOfDate);
    EXPECT_NE(blob.message.find("mds.fidoalliance.org expired on"), std::string::npos)
        << blob.message;

    // Without the GlobalSign roots the chain ends nowhere.
    TrustStore noRoots(false);
    LoadMdsFile(path, noRoots, FixedWallClock(c.insideLeaf), blob);
    EXPECT_EQ(blob.verdict, MdsVerdict::kRejected);
  }
}

TEST(MdsRealFiles, FactsOfBlob121) {
  const std::string path = DataPath("mds3-blob-no121-2024-12-02.jwt");
  REQUIRE_DATA(path);
  TrustStore trust;
  MdsBlob blob;
  LoadMdsFile(path, trust, FixedWallClock(UnixSecondsOf(2024, 8, 1)), blob);
  ASSERT_TRUE(blob.accepted()) << blob.message;

  struct Model {
    const char* aaguid;
    const char* description;
    const char* status;
  } models[] = {
      {"cb69481e-8ff7-4039-93ec-0a2729a154a8", "YubiKey 5 Series", "FIDO_CERTIFIED_L1"},
      {"73bb0cd4-e502-49b8-9c6f-b59445bf720b", "YubiKey 5 FIPS Series", "FIDO_CERTIFIED_L2"},
      {"ba86dc56-635f-4141-aef6-00227b1b9af6", "TruU Windows Authenticator", "REVOKED"},
  };
  for (const Model& model : models) {
    SCOPED_TRACE(model.aaguid);
    const MdsEntry* entry = blob.index.FindByAaguid(model.aaguid);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->description, model.description);
    ASSERT_FALSE(entry->statusReports.empty());
    EXPECT_EQ(entry->statusReports.front().status, model.status);
  }
  size_t revoked = 0;
  for (const MdsEntry& entry : blob.payload.entries) {
    for (const MdsStatusReport& report : entry.statusReports) revoked += report.status == "REVOKED";
  }
  EXPECT_EQ(revoked, 1u);

  const MdsEntry* neowave =
      blob.index.FindByKeyIdentifier("1434D2F277FE479C35DDF6AA4D08A07CBCE99DD7");
  ASSERT_NE(neowave, nullptr);
  EXPECT_EQ(neowave->description, "NEOWAVE Winkeo FIDO2");

  // The page of a key claiming to be the revoked model warns of it.
  MetadataKeyFacts key;
  key.aaguid = "ba86dc56635f4141aef600227b1b9af6";
  bool warned = false;
  for (const MetadataRow& row : BuildMetadataRows(blob, key, UnixSecondsOf(2024, 8, 1))) {
    warned |= row.item == "Warning" && row.value == "REVOKED since 2023-12-20";
  }
  EXPECT_TRUE(warned);
}

TEST(MdsRealFiles, ConformanceBlobNeedsItsOwnRoot) {
  const std::string path = DataPath("mds3-conformance-test-blob-no42.jwt");
  const std::string root = DataPath("FIDO_MDS3_conformance_FAKE_Root.pem");
  REQUIRE_DATA(path);
  const FixedWallClock clock(UnixSecondsOf(2022, 11, 1));
  MdsBlob blob;
  TrustStore builtIn;
  LoadMdsFile(path, builtIn, clock, blob);
  EXPECT_EQ(blob.verdict, MdsVerdict::kRejected);
  EXPECT_NE(blob.message.find("does not end at a trusted root"), std::string::npos);

  TrustStore withRoot;
  std::string error;
  ASSERT_TRUE(withRoot.AddRootFile(root, error)) << error;
  LoadMdsFile(path, withRoot, clock, blob);
  ASSERT_EQ(blob.verdict, MdsVerdict::kCurrent) << blob.message;
  EXPECT_EQ(blob.payload.number, 42);
  EXPECT_EQ(blob.payload.entries.size(), 200u);
  EXPECT_EQ(blob.signerName, "FAKE Metadata 3 BLOB Signing Signer 4 FAKE");

  LoadMdsFile(path, withRoot, FixedWallClock(UnixSecondsOf(2026, 12, 9)), blob);
  EXPECT_EQ(blob.verdict, MdsVerdict::kOutOfDate);
  EXPECT_NE(blob.message.find("next update was due on 2022-11-09"), std::string::npos);
}

TEST(MdsRealFiles, OneChangedPayloadByteIsRejected) {
  const std::string path = DataPath("mds3-blob-no121-2024-12-02.jwt");
  REQUIRE_DATA(path);
  std::vector<uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(ReadFileBytes(path, MDS_MAX_FILE_BYTES, bytes, error)) << error;
  const size_t payloadStart =
      static_cast<size_t>(std::find(bytes.begin(), bytes.end(), '.') - bytes.begin()) + 1;
  TrustStore trust;
  MdsBlob blob;
  const FixedWallClock clock(UnixSecondsOf(2024, 8, 1));
  for (const size_t offset : {payloadStart, payloadStart + 1000000, bytes.size() / 2}) {
    std::vector<uint8_t> changed = bytes;
    changed[offset] = changed[offset] == 'Q' ? 'R' : 'Q';
    LoadMdsBlob(changed.data(), changed.size(), trust, clock, blob);
    EXPECT_EQ(blob.verdict, MdsVerdict::kRejected) << offset;
    EXPECT_TRUE(blob.payload.entries.empty());
  }
}

// The chain since 2026-08-21: leaf -> GCC R46 EV TLS CA 2025 -> Root R46,
// with Root R46 cross-signed by Root CA - R3 in the header.
TEST(MdsRealFiles, HeaderOfBlob279ChainsToR46AndThroughTheCrossCertificateToR3) {
  const std::string path = DataPath("mds3-blob-no279-header-only.b64url");
  REQUIRE_DATA(path);
  std::vector<uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(ReadFileBytes(path, 1 << 20, bytes, error)) << error;
  std::string text(bytes.begin(), bytes.end());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  JwsHeader header;
  ASSERT_EQ(ReadJwsHeader(text, header), "");
  EXPECT_EQ(header.algorithm, JwsAlgorithm::kRs256);
  ASSERT_EQ(header.x5c.size(), 3u);

  const int64_t inside = UnixSecondsOf(2026, 9, 1);
  {
    CertificateList chain;
    for (const auto& der : header.x5c) ASSERT_TRUE(chain.AddDer(der));
    TrustStore trust;
    const ChainCheck check = CheckCertificateChain(chain, trust.roots(), inside);
    ASSERT_TRUE(check.trusted) << check.failure;
    EXPECT_EQ(check.leafName, "mds.fidoalliance.org");
    EXPECT_EQ(check.rootName, "GlobalSign Root R46");
    EXPECT_EQ(check.timeProblem, "");
    EXPECT_TRUE(trust.IsBuiltIn(*check.path.back()));
    EXPECT_EQ(MetadataSignerProblem(*chain.head(), true, check.rootName), "");
    ASSERT_EQ(check.path.size(), 3u);  // the cross certificate is not needed
    EXPECT_EQ(CrlDistributionPointsOf(*check.path[1]),
              std::vector<std::string>{"http://crl.globalsign.com/rootr46.crl"});
    const ChainCheck later = CheckCertificateChain(chain, trust.roots(), UnixSecondsOf(2027, 4, 1));
    EXPECT_EQ(later.timeProblem, "the certificate mds.fidoalliance.org expired on 2027-03-08");
  }
  {
    // Only R3 trusted: the cross certificate carries the chain to it.
    CertificateList chain;
    for (const auto& der : header.x5c) ASSERT_TRUE(chain.AddDer(der));
    TrustStore onlyR3(false);
    ASSERT_TRUE(onlyR3.AddRootFile(DataPath("GlobalSign_Root_CA_-_R3.pem"), error)) << error;
    const ChainCheck check = CheckCertificateChain(chain, onlyR3.roots(), inside);
    ASSERT_TRUE(check.trusted) << check.failure;
    EXPECT_EQ(check.rootName, "GlobalSign Root CA - R3");
  }
}

}  // namespace
