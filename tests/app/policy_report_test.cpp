// Keys checked against policies through `--report --policy`, end to end
// against the simulated key with metadata files the test signs.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/policy_command.h"
#include "app/report_command.h"
#include "simkey/sim_attestation.h"
#include "tests/metadata/mds_test_pki.h"

namespace {

using Json = nlohmann::json;

TestMdsWorld& World() {
  static TestMdsWorld world;
  return world;
}

struct PolicyRun {
  int status;
  Json policyRows;
  std::string err;
};

PolicyRun Report(std::vector<std::string> args, int64_t now = TEST_NOW,
                 const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  args.insert(args.begin(), {"--report", "--json"});
  const CommandLine line = ParseCommandLine(args);
  EXPECT_EQ(line.error, "");
  const FixedWallClock clock(now);
  const int status = RunReportCommand(line, false, in, out, err, &clock);
  Json rows;
  if (!out.str().empty()) {
    const Json document = Json::parse(out.str());
    for (const Json& page : document["pages"]) {
      if (page["caption"] == "Policy") rows = page["rows"];
    }
  }
  return {status, rows, err.str()};
}

std::string Row(const Json& rows, const std::string& item) {
  for (const Json& row : rows) {
    if (row[0] == item) return row[1];
  }
  return "(no row " + item + ")";
}

constexpr char kSimAaguid[] = "514d2d53-494d-4b45-592d-414147554944";
const int64_t kAfterNextUpdate = TEST_NOW + 40 * 86400;  // the test BLOB is out of date then

class PolicyReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/quillmark-cache-XXXXXX";
    setenv("XDG_CACHE_HOME", mkdtemp(folder), 1);
    root_ = WriteTestFile("root.pem", World().RootPem());
    const Json reports = {{{"status", "FIDO_CERTIFIED_L1"}, {"effectiveDate", "2024-02-01"}}};
    const Json payload = TestPayload(
        Json::array({SimulatedModelEntry(SimAttestation().chain[SIMKEY_CHAIN_ROOT], reports)}));
    blob_ = WriteTestFile("blob.jwt", World().Blob(payload, JwsAlgorithm::kRs256));
  }
  std::vector<std::string> Args(const Json& device, const Json& policy) {
    return {"--simulate", WriteTestFile("key.json", Json({{"devices", {device}}}).dump()),
            "--policy",   WriteTestFile("policy.json", policy.dump()),
            "--mds",      blob_,
            "--mds-root", root_};
  }
  std::string root_, blob_;
};

TEST_F(PolicyReportTest, KeysAgainstPolicies) {
  const Json model = {{"aaguid", kSimAaguid}, {"name", "Sim"}};
  const Json genuine = {{"verdict", "genuine"}, {"models", {model}}};
  const Json stored = {{"rpId", "a.example"}, {"userId", "01"}, {"userName", "a"}};
  const struct {
    const char* name;
    Json device;
    Json policy;
    int64_t now;
    int status;
    const char* rule;    // the first rule not passed, or "Result"
    const char* result;  // its row's text starts so
  } cases[] = {
      {"genuine, certified, fresh",
       Json::object(),
       {{"verdict", "genuine"},
        {"models", {model}},
        {"certification", "FIDO_CERTIFIED_L1"},
        {"metadataCurrent", true},
        {"pin", "not set"},
        {"passkeys", 0},
        {"versions", {"FIDO_2_1"}}},
       TEST_NOW,
       0,
       "Result",
       "PASS"},
      {"counterfeit: a listed AAGUID, another maker's attestation",
       {{"attestation", {{"wrongSignature", true}}}},
       genuine,
       TEST_NOW,
       5,
       "verdict",
       "FAIL: not genuine"},
      {"unlisted model",
       Json::object(),
       {{"models", {{{"aaguid", "cb69481e-8ff7-4039-93ec-0a2729a154a8"}}}}},
       TEST_NOW,
       5,
       "models",
       "FAIL: AAGUID 514d2d53-494d-4b45-592d-414147554944 is not allowed"},
      {"old firmware",
       Json::object(),
       {{"models", {{{"aaguid", kSimAaguid}, {"minFirmware", 328200}, {"name", "Sim"}}}}},
       TEST_NOW,
       5,
       "models",
       "FAIL: firmware 328199 is below 328200 required for Sim"},
      {"PIN set", {{"pin", "123456"}}, {{"pin", "not set"}}, TEST_NOW, 5, "pin", "FAIL"},
      {"PIN not set but required", Json::object(), {{"pin", "set"}}, TEST_NOW, 5, "pin", "FAIL"},
      {"no PIN: no passkeys asked for",
       {{"credentials", {stored}}},
       {{"passkeys", 0}},
       TEST_NOW,
       0,
       "Result",
       "PASS"},
      {"out-of-date metadata",
       Json::object(),
       {{"metadataCurrent", true}},
       kAfterNextUpdate,
       5,
       "metadataCurrent",
       "FAIL"},
      {"certification above the model's",
       Json::object(),
       {{"certification", "FIDO_CERTIFIED_L2"}},
       TEST_NOW,
       5,
       "certification",
       "FAIL"},
      {"an option that does not hold",
       Json::object(),
       {{"options", {{"alwaysUv", true}}}},
       TEST_NOW,
       5,
       "options",
       "FAIL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PolicyRun run = Report(Args(c.device, c.policy), c.now);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(Row(run.policyRows, "Result"), c.status == 0 ? "PASS" : "FAIL");
    EXPECT_EQ(Row(run.policyRows, c.rule).rfind(c.result, 0), 0u) << run.policyRows.dump();
  }
}

TEST_F(PolicyReportTest, PasskeysAreReadWithThePinFromStandardInput) {
  const Json device = {{"pin", "123456"},
                       {"credentials", {{{"rpId", "a.example"}, {"userId", "01"}}}}};
  std::vector<std::string> args = Args(device, {{"verdict", "genuine"}, {"passkeys", 0}});
  args.push_back("--pin-stdin");
  // The fetch and the reading share the one line of input.
  const PolicyRun run = Report(args, TEST_NOW, "123456\n");
  EXPECT_EQ(run.status, 5) << run.err;
  EXPECT_EQ(Row(run.policyRows, "verdict"), "PASS") << run.err;
  EXPECT_EQ(Row(run.policyRows, "passkeys").rfind("FAIL", 0), 0u) << run.policyRows.dump();
}

TEST_F(PolicyReportTest, ABadPolicyEndsTheRunBeforeTheKey) {
  const std::string policy = WriteTestFile("bad.json", R"({"models": [{"minFirmware": "1"}]})");
  const std::string inventory =
      ::testing::TempDir() + std::to_string(::getpid()) + "-" + "never.jsonl";
  const PolicyRun run = Report({"--simulate", "--policy", policy, "--inventory", inventory});
  EXPECT_EQ(run.status, EXIT_BAD_ARGUMENTS);
  EXPECT_NE(run.err.find("/models/0"), std::string::npos) << run.err;
  EXPECT_TRUE(run.policyRows.is_null());
  EXPECT_FALSE(std::ifstream(inventory).good());
}

TEST_F(PolicyReportTest, InventoryLineAndItsSummary) {
  const std::string inventory =
      ::testing::TempDir() + std::to_string(::getpid()) + "-" + "keys.jsonl";
  std::remove(inventory.c_str());
  std::vector<std::string> args = Args(Json::object(), {{"pin", "not set"}});
  args.insert(args.end(), {"--inventory", inventory});
  ASSERT_EQ(Report(args).status, 0);
  args = Args({{"pin", "1"}}, {{"pin", "not set"}});
  args.insert(args.end(), {"--inventory", inventory});
  ASSERT_EQ(Report(args).status, 5);
  std::ostringstream out, err;
  const CommandLine line = ParseCommandLine({"--inventory", inventory, "--summary"});
  ASSERT_EQ(line.error, "");
  EXPECT_EQ(RunInventorySummaryCommand(line, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("2"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("FAIL"), std::string::npos) << out.str();
  const CommandLine missing = ParseCommandLine({"--inventory", inventory + ".no", "--summary"});
  EXPECT_EQ(RunInventorySummaryCommand(missing, out, err), EXIT_INVENTORY_FAILED);
}

}  // namespace
