#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cbor/cbor_writer.h"
#include "keyinfo/metadata_rows.h"
#include "metadata/metadata_page.h"
#include "policy/policy_check.h"

namespace {

constexpr char kAaguid[] = "cb69481e8ff7403993ec0a2729a154a8";

Policy Parse(const std::string& text) {
  Policy policy;
  EXPECT_EQ(ReadPolicy(reinterpret_cast<const uint8_t*>(text.data()), text.size(), policy), "");
  return policy;
}

// A genuine, certified, fresh key of the allowed model.
PolicyFacts GoodKey() {
  PolicyFacts facts;
  facts.keyRead = true;
  facts.verdict = "genuine";
  facts.verdictText = "genuine: every check passed";
  facts.fetched = true;
  facts.aaguid = kAaguid;
  facts.firmware = 328199;
  facts.versions = {"U2F_V2", "FIDO_2_0", "FIDO_2_1"};
  facts.options = {{"rk", true}, {"clientPin", false}, {"alwaysUv", false}};
  facts.pin = PolicyPin::kNotSet;
  facts.blobVerdict = MdsVerdict::kCurrent;
  facts.blobCurrent = true;
  facts.blobNumber = 121;
  facts.modelListed = true;
  facts.modelDescription = "Model Five";
  MdsStatusReport report;
  report.status = "FIDO_CERTIFIED_L2";
  facts.statusReports = {report};
  return facts;
}

constexpr auto P = RuleOutcome::kPass;
constexpr auto F = RuleOutcome::kFail;
constexpr auto U = RuleOutcome::kUnknown;

TEST(PolicyCheck, KeysAgainstTheAcceptancePolicy) {
  const Policy policy = Parse(R"({"verdict": "genuine",
      "models": [{"aaguid": "cb69481e-8ff7-4039-93ec-0a2729a154a8", "minFirmware": 328199,
                  "name": "Five"}],
      "certification": "FIDO_CERTIFIED_L2", "metadataCurrent": true, "pin": "not set",
      "passkeys": 0, "versions": ["FIDO_2_1"]})");
  const struct {
    const char* name;
    std::function<void(PolicyFacts&)> change;
    std::vector<RuleOutcome> expected;  // verdict models cert current pin passkeys versions
    std::string reason;                 // in the first rule that did not pass
  } cases[] = {
      {"genuine and certified", [](PolicyFacts&) {}, {P, P, P, P, P, P, P}, ""},
      {"counterfeit",
       [](PolicyFacts& f) {
         f.verdict = "not genuine";
         f.verdictText = "not genuine: the key claims Five but its certificate is X's";
       },
       {F, P, P, P, P, P, P},
       "not genuine: the key claims"},
      {"no fetch made",
       [](PolicyFacts& f) { f.fetched = false; },
       {U, P, P, P, P, P, P},
       "no fetch made"},
      {"cannot be verified",
       [](PolicyFacts& f) {
         f.verdict = "cannot be verified";
         f.verdictText = "cannot be verified: no metadata";
       },
       {U, P, P, P, P, P, P},
       "cannot be verified"},
      {"old firmware",
       [](PolicyFacts& f) { f.firmware = 328198; },
       {P, F, P, P, P, P, P},
       "firmware 328198 is below 328199 required for Five"},
      {"no firmware reported",
       [](PolicyFacts& f) { f.firmware = -1; },
       {P, U, P, P, P, P, P},
       "no firmware version"},
      {"unlisted model",
       [](PolicyFacts& f) {
         f.aaguid = "00112233445566778899aabbccddeeff";
         f.modelListed = false;
         f.statusReports.clear();
       },
       {P, F, F, P, P, P, P},
       "AAGUID 00112233-4455-6677-8899-aabbccddeeff is not allowed"},
      {"certified below the level",
       [](PolicyFacts& f) { f.statusReports.front().status = "FIDO_CERTIFIED_L1plus"; },
       {P, P, F, P, P, P, P},
       "Model Five is FIDO_CERTIFIED_L1plus, below FIDO_CERTIFIED_L2 required"},
      {"revoked since",
       [](PolicyFacts& f) {
         MdsStatusReport revoked;
         revoked.status = "REVOKED";
         f.statusReports.insert(f.statusReports.begin(), revoked);
       },
       {P, P, F, P, P, P, P},
       "newest status for Model Five is REVOKED"},
      {"metadata missing",
       [](PolicyFacts& f) {
         f.blobVerdict = MdsVerdict::kNone;
         f.blobCurrent = false;
         f.modelListed = false;
       },
       {P, P, U, U, P, P, P},
       "metadata missing"},
      {"out-of-date metadata",
       [](PolicyFacts& f) {
         f.blobVerdict = MdsVerdict::kOutOfDate;
         f.blobCurrent = false;
         f.blobOutOfDate = "its next update was due on 2025-01-01";
       },
       {P, P, P, F, P, P, P},
       "out of date: its next update was due on 2025-01-01"},
      {"PIN set, passkeys not read",
       [](PolicyFacts& f) { f.pin = PolicyPin::kSet; },
       {P, P, P, P, F, U, P},
       "a PIN is set"},
      {"PIN set, none stored",
       [](PolicyFacts& f) {
         f.pin = PolicyPin::kSet;
         f.passkeysStored = 0;
       },
       {P, P, P, P, F, P, P},
       "a PIN is set"},
      {"passkeys stored",
       [](PolicyFacts& f) {
         f.pin = PolicyPin::kSet;
         f.passkeysStored = 2;
       },
       {P, P, P, P, F, F, P},
       "a PIN is set"},
      {"FIDO 2.0 only",
       [](PolicyFacts& f) { f.versions = {"FIDO_2_0"}; },
       {P, P, P, P, P, P, F},
       "does not support FIDO_2_1"},
      {"GetInfo not read",
       [](PolicyFacts& f) {
         f = PolicyFacts();
         f.blobVerdict = MdsVerdict::kCurrent;
         f.blobCurrent = true;
       },
       {U, U, U, P, U, U, U},
       "no fetch made"},
  };
  for (const auto& c : cases) {
    PolicyFacts facts = GoodKey();
    c.change(facts);
    const PolicyResult result = CheckPolicy(policy, facts);
    std::vector<RuleOutcome> outcomes;
    for (const RuleResult& rule : result.rules) outcomes.push_back(rule.outcome);
    EXPECT_EQ(outcomes, c.expected) << c.name;
    EXPECT_EQ(result.passed, c.reason.empty()) << c.name;
    EXPECT_NE(PolicyResultLine(result).find(c.reason), std::string::npos)
        << c.name << ": " << PolicyResultLine(result);
  }
}

TEST(PolicyCheck, OptionsFipsAndU2fModels) {
  const Policy policy = Parse(R"({"options": {"alwaysUv": true, "ep": false}, "fips": true,
      "models": [{"keyIdentifier": "1434d2f277fe479c35ddf6aa4d08a07cbce99dd7"}]})");
  PolicyFacts facts = GoodKey();
  PolicyResult result = CheckPolicy(policy, facts);
  EXPECT_EQ(RuleResultText(result.rules[0]),
            "FAIL: option alwaysUv is false, true required; the key does not report option ep");
  EXPECT_EQ(RuleResultText(result.rules[1]),
            "FAIL: the metadata reports no FIPS 140 certification for Model Five");
  EXPECT_EQ(result.rules[2].outcome, RuleOutcome::kFail);

  facts.aaguid.clear();
  facts.keyIdentifier = "1434d2f277fe479c35ddf6aa4d08a07cbce99dd7";
  facts.options = {{"alwaysUv", true}, {"ep", false}};
  facts.statusReports.front().fipsRevision = 3;
  result = CheckPolicy(policy, facts);
  EXPECT_TRUE(result.passed) << PolicyResultLine(result);

  ReportList page;
  WritePolicyPage(result, page);
  ASSERT_EQ(page.RowCount(), 4u);
  EXPECT_EQ(page.Cell(0, 0), "options");
  EXPECT_EQ(page.Cell(3, 0), "Result");
  EXPECT_EQ(page.Cell(3, 1), "PASS");
}

TEST(PolicyCheck, NeedsFollowTheRulesAndTheKey) {
  PolicyFacts fido2 = GoodKey();
  PolicyFacts u2fOnly;
  PolicyFacts pinSet = GoodKey();
  pinSet.pin = PolicyPin::kSet;
  const auto needs = [](const char* json, const PolicyFacts& facts) {
    const PolicyNeeds n = WhatPolicyNeeds(Parse(json), facts);
    return std::string(n.fetch ? "F" : "") + (n.passkeys ? "P" : "") + (n.metadata ? "M" : "");
  };
  EXPECT_EQ(needs(R"({"verdict": "genuine"})", fido2), "FM");
  EXPECT_EQ(needs(R"({"models": [{"aaguid": "cb69481e8ff7403993ec0a2729a154a8"}]})", fido2), "");
  EXPECT_EQ(needs(R"({"models": [{"aaguid": "cb69481e8ff7403993ec0a2729a154a8"}]})", u2fOnly), "F");
  EXPECT_EQ(needs(R"({"certification": "FIDO_CERTIFIED_L1"})", fido2), "M");
  EXPECT_EQ(needs(R"({"passkeys": 0})", fido2), "");
  EXPECT_EQ(needs(R"({"passkeys": 0})", pinSet), "P");
}

// The facts come from the model's pages and GetInfo, the verdict from the
// page's row as written.
TEST(PolicyFacts, GatheredFromTheModel) {
  uint8_t buffer[256];
  CborWriter writer(buffer, sizeof buffer);
  writer.WriteMap(3);
  writer.WriteInt(0x01);
  writer.WriteArray(1);
  writer.WriteText("FIDO_2_1", 8);
  writer.WriteInt(0x04);
  writer.WriteMap(1);
  writer.WriteText("clientPin", 9);
  writer.WriteHead(7, 21);
  writer.WriteInt(0x0E);
  writer.WriteInt(328199);

  QuillmarkModel model;
  model.getInfoAnswer.assign(buffer, buffer + writer.position());
  model.aaguidText = "CB69481E8FF7403993EC0A2729A154A8";
  model.FindPage(METADATA_PAGE_CAPTION)->AppendRow("Attestation chain", "not genuine: forged");

  const std::string payload = R"({"no": 7, "nextUpdate": "2025-01-01", "entries": [
      {"aaguid": "cb69481e-8ff7-4039-93ec-0a2729a154a8",
       "metadataStatement": {"description": "Model Five"},
       "statusReports": [{"status": "FIDO_CERTIFIED_L1", "effectiveDate": "2024-01-01"}],
       "timeOfLastStatusChange": "2024-01-01"}]})";
  MdsBlob blob;
  ASSERT_EQ(ReadMdsPayload(reinterpret_cast<const uint8_t*>(payload.data()), payload.size(),
                           blob.payload),
            "");
  blob.verdict = MdsVerdict::kCurrent;
  blob.index.Build(blob.payload);

  PolicyFacts facts = GatherPolicyFacts(model, blob, UnixSecondsOf(2024, 12, 31));
  EXPECT_TRUE(facts.keyRead);
  EXPECT_EQ(facts.verdict, "not genuine");
  EXPECT_EQ(facts.aaguid, kAaguid);
  EXPECT_EQ(facts.firmware, 328199);
  EXPECT_EQ(facts.versions, std::vector<std::string>{"FIDO_2_1"});
  EXPECT_EQ(facts.pin, PolicyPin::kSet);
  EXPECT_EQ(facts.blobNumber, 7);
  EXPECT_TRUE(facts.blobCurrent);
  EXPECT_EQ(facts.modelDescription, "Model Five");
  EXPECT_EQ(facts.passkeysStored, -1);
  EXPECT_FALSE(facts.fetched);

  facts = GatherPolicyFacts(model, blob, UnixSecondsOf(2025, 1, 1));
  EXPECT_FALSE(facts.blobCurrent);
  EXPECT_EQ(facts.blobOutOfDate, "its next update was due on 2025-01-01");

  model.getInfoAnswer.resize(model.getInfoAnswer.size() - 1);  // cut off: nothing read
  facts = GatherPolicyFacts(model, blob, UnixSecondsOf(2024, 12, 31));
  EXPECT_FALSE(facts.keyRead);
  EXPECT_EQ(facts.firmware, -1);
}

}  // namespace
