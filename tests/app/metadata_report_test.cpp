// The "Metadata" page of the headless report, end to end against the
// simulated key with signed metadata files the test makes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/report_command.h"
#include "metadata/attestation_identity.h"
#include "simkey/sim_attestation.h"
#include "simkey/sim_default_key.h"
#include "tests/metadata/mds_test_pki.h"

namespace {

using Json = nlohmann::json;

TestMdsWorld& World() {
  static TestMdsWorld world;
  return world;
}

struct ReportRun {
  int status;
  Json page;  // the "Metadata" page's rows
  std::string err;
};

ReportRun Report(std::vector<std::string> args, int64_t now = TEST_NOW) {
  std::istringstream in;
  std::ostringstream out, err;
  args.insert(args.begin(), {"--report", "--json"});
  const CommandLine line = ParseCommandLine(args);
  EXPECT_EQ(line.error, "");
  const FixedWallClock clock(now);
  const int status = RunReportCommand(line, false, in, out, err, &clock);
  Json page;
  const Json document = Json::parse(out.str());
  for (const Json& each : document["pages"]) {
    if (each["caption"] == "Metadata") page = each["rows"];
  }
  return {status, page, err.str()};
}

std::string Value(const Json& rows, const std::string& item) {
  for (const Json& row : rows) {
    if (row[0] == item) return row[1];
  }
  return "(no row " + item + ")";
}

std::vector<std::string> Items(const Json& rows) {
  std::vector<std::string> items;
  for (const Json& row : rows) items.push_back(row[0]);
  return items;
}

class MetadataReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No cached copy of a real download may creep in.
    char folder[] = "/tmp/quillmark-cache-XXXXXX";
    setenv("XDG_CACHE_HOME", mkdtemp(folder), 1);
    rootFile_ = WriteTestFile("root.pem", World().RootPem());
  }
  std::string BlobFile(const std::vector<uint8_t>& attestationRoot, const Json& reports) {
    const Json payload = TestPayload(Json::array({SimulatedModelEntry(attestationRoot, reports)}));
    return WriteTestFile("blob.jwt", World().Blob(payload, JwsAlgorithm::kRs256));
  }
  std::string rootFile_;
};

const Json kCertified = {{{"status", "FIDO_CERTIFIED_L1"},
                          {"effectiveDate", "2024-02-01"},
                          {"certificateNumber", "FIDO20020240201001"}}};

TEST_F(MetadataReportTest, GenuineKeyAfterAFetch) {
  const std::string blob = BlobFile(SimAttestation().chain[SIMKEY_CHAIN_ROOT], kCertified);
  const ReportRun run =
      Report({"--simulate", "--mds", blob, "--mds-root", rootFile_, "--fetch", "fido2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Items(run.page), (std::vector<std::string>{"Metadata BLOB", "Description", "AAGUID",
                                                       "Authenticator version", "Status",
                                                       "Declared GetInfo", "Attestation chain"}));
  EXPECT_EQ(Value(run.page, "Metadata BLOB"),
            "no. 7, next update 2024-07-01, signed by Test BLOB Signer, root Test Metadata Root; "
            "revocation not checked (no revocation list)");
  EXPECT_EQ(Value(run.page, "Description"), "Simulated Key Model");
  EXPECT_EQ(Value(run.page, "AAGUID"), "514d2d53-494d-4b45-592d-414147554944");
  EXPECT_EQ(Value(run.page, "Authenticator version"), "328199 (the key's firmwareVersion: 328199)");
  EXPECT_EQ(Value(run.page, "Status"),
            "FIDO_CERTIFIED_L1, effective 2024-02-01, certificate FIDO20020240201001, level L1");
  EXPECT_EQ(Value(run.page, "Declared GetInfo"), "matches the key");
  EXPECT_EQ(Value(run.page, "Attestation chain"),
            "genuine: chains to Simulated Key Maker Root CA; metadata no. 7");
  EXPECT_NE(run.err.find("read the metadata file " + blob), std::string::npos) << run.err;
}

// As a script runs it: only the genuine simulated key is called genuine.
TEST_F(MetadataReportTest, GenuineOnlyForTheGenuineKey) {
  const std::string blob = BlobFile(SimAttestation().chain[SIMKEY_CHAIN_ROOT], kCertified);
  struct Case {
    const char* name;
    Json device;  // the profile's one device
    const char* fetch;
    const char* verdict;
  } cases[] = {
      {"genuine", Json::object(), "fido2", "genuine: "},
      {"wrong signature", {{"attestation", {{"wrongSignature", true}}}}, "fido2", "not genuine: "},
      {"U2F wrong signature", {{"u2f", {{"wrongSignature", true}}}}, "u2f", "not genuine: "},
      {"missing intermediate",
       {{"attestation", {{"certificates", 1}}}},
       "fido2",
       "cannot be verified: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string profile =
        WriteTestFile("key.json", Json({{"devices", Json::array({c.device})}}).dump());
    const ReportRun run =
        Report({"--simulate", profile, "--mds", blob, "--mds-root", rootFile_, "--fetch", c.fetch});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Value(run.page, "Attestation chain").rfind(c.verdict, 0), 0u)
        << Value(run.page, "Attestation chain");
  }
}

TEST_F(MetadataReportTest, CounterfeitKeyAndWarnings) {
  // The model's listed root is not the one the key's attestation chains to.
  const Json reports = {{{"status", "ATTESTATION_KEY_COMPROMISE"}, {"effectiveDate", "2024-05-01"}},
                        {{"status", "FIDO_CERTIFIED_L1"}, {"effectiveDate", "2024-02-01"}}};
  const std::string blob = BlobFile(World().strangerRoot, reports);
  const ReportRun run =
      Report({"--simulate", "--mds", blob, "--mds-root", rootFile_, "--fetch", "u2f"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Value(run.page, "Warning"), "ATTESTATION_KEY_COMPROMISE since 2024-05-01");
  EXPECT_EQ(Value(run.page, "Status history"), "FIDO_CERTIFIED_L1, effective 2024-02-01, level L1");
  // A U2F fetch of a FIDO2 key: found by the AAGUID of GetInfo. The model's
  // compromise outweighs the chain.
  EXPECT_EQ(Value(run.page, "Attestation chain"),
            "cannot be trusted: ATTESTATION_KEY_COMPROMISE since 2024-05-01");
}

TEST_F(MetadataReportTest, BlobVerdictsOnThePage) {
  const std::string blob = BlobFile(SimAttestation().chain[SIMKEY_CHAIN_ROOT], kCertified);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int64_t now;
    std::string firstRow;
    size_t rows;
  } cases[] = {
      {"no file, no cache",
       {"--simulate"},
       TEST_NOW,
       "No metadata file. Open one with \"Open metadata file...\" or --mds FILE, or download it "
       "with \"Update metadata\" or quillmark --mds-update.",
       2},
      {"untrusted root",
       {"--simulate", "--mds", blob},
       TEST_NOW,
       "The metadata file is rejected: its signing chain does not end at a trusted root.",
       2},
      {"out of date",
       {"--simulate", "--mds", blob, "--mds-root", rootFile_},
       UnixSecondsOf(2024, 8, 1),
       "no. 7, next update 2024-07-01, signed by Test BLOB Signer, root Test Metadata Root; out "
       "of date: its next update was due on 2024-07-01; revocation not checked (no revocation "
       "list)",
       7},
      {"missing file",
       {"--simulate", "--mds", "/nonexistent/blob.jwt"},
       TEST_NOW,
       "The file /nonexistent/blob.jwt cannot be opened: No such file or directory.",
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReportRun run = Report(c.args, c.now);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.page.size(), c.rows) << run.page.dump(1);
    EXPECT_EQ(run.page[0][1], c.firstRow);
  }
}

// A key whose GetInfo carries the AAGUID of a real model, against the
// published file: the model is found, and its attestation is not genuine.
TEST_F(MetadataReportTest, RealModelAaguidAgainstPublishedBlob) {
  const char* folder = std::getenv("QUILLMARK_MDS_DATA_DIR");
  const std::string blob = std::string(folder != nullptr ? folder : QUILLMARK_MDS_DATA_DIR) +
                           "/mds3-blob-no121-2024-12-02.jwt";
  struct stat status {};
  if (stat(blob.c_str(), &status) != 0) {
    GTEST_SKIP() << "the shared metadata folder is absent (" << blob << ")";
  }
  std::vector<uint8_t> getInfo = SimDefaultGetInfo(false);
  const uint8_t yubiKey5[16] = {0xcb, 0x69, 0x48, 0x1e, 0x8f, 0xf7, 0x40, 0x39,
                                0x93, 0xec, 0x0a, 0x27, 0x29, 0xa1, 0x54, 0xa8};
  const auto at = std::search(getInfo.begin(), getInfo.end(), std::begin(SIMKEY_DEFAULT_AAGUID),
                              std::end(SIMKEY_DEFAULT_AAGUID));
  ASSERT_NE(at, getInfo.end());
  std::copy(std::begin(yubiKey5), std::end(yubiKey5), at);
  const std::string profile = WriteTestFile(
      "real-model.json",
      Json({{"devices", {{{"cbor", {{"04", "00" + LowerHex(getInfo.data(), getInfo.size())}}}}}}})
          .dump());
  const ReportRun run =
      Report({"--simulate", profile, "--mds", blob, "--fetch", "fido2"}, UnixSecondsOf(2024, 8, 1));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Value(run.page, "Description"), "YubiKey 5 Series");
  EXPECT_EQ(Value(run.page, "AAGUID"), "cb69481e-8ff7-4039-93ec-0a2729a154a8");
  EXPECT_EQ(Value(run.page, "Status").rfind("FIDO_CERTIFIED_L1, ", 0), 0u);
  EXPECT_EQ(Value(run.page, "Metadata BLOB").rfind("no. 121, next update 2025-01-01", 0), 0u);
  // The simulated key does not answer like the statement says a YubiKey does.
  EXPECT_NE(Value(run.page, "Declared GetInfo"), "matches the key");
  // The simulated key's certificate names its own model: the claim is
  // disproved.
  EXPECT_EQ(Value(run.page, "Attestation chain"),
            "not genuine: the key claims YubiKey 5 Series but its certificate is the model "
            "514d2d53-494d-4b45-592d-414147554944's");
}

}  // namespace
