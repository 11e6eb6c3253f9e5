#include <gtest/gtest.h>

#include <string>

#include "policy/policy_file.h"

namespace {

std::string Read(const std::string& text, Policy& policy) {
  return ReadPolicy(reinterpret_cast<const uint8_t*>(text.data()), text.size(), policy);
}

TEST(PolicyFile, ReadsEveryRuleInTheFilesOrder) {
  Policy policy;
  ASSERT_EQ(Read(R"({"versions": ["FIDO_2_1"], "verdict": "genuine",
      "models": [{"aaguid": "CB69481E-8FF7-4039-93EC-0A2729A154A8", "minFirmware": 328199,
                  "name": "Five"}, {"keyIdentifier": "1434D2F277FE479C35DDF6AA4D08A07CBCE99DD7"}],
      "certification": "FIDO_CERTIFIED_L1plus", "fips": true, "metadataCurrent": true,
      "pin": "not set", "passkeys": 0, "options": {"alwaysUv": true, "a/b": false}})",
                 policy),
            "");
  EXPECT_EQ(policy.rules.front(), PolicyRule::kVersions);
  EXPECT_EQ(policy.rules.back(), PolicyRule::kOptions);
  EXPECT_EQ(policy.rules.size(), 9u);
  ASSERT_EQ(policy.models.size(), 2u);
  EXPECT_EQ(policy.models[0].aaguid, "cb69481e8ff7403993ec0a2729a154a8");
  EXPECT_EQ(policy.models[0].minFirmware, 328199u);
  EXPECT_FALSE(policy.models[1].hasMinFirmware);
  EXPECT_EQ(policy.models[1].keyIdentifier, "1434d2f277fe479c35ddf6aa4d08a07cbce99dd7");
  EXPECT_FALSE(policy.pinSet);
  EXPECT_EQ(policy.options[1], (std::pair<std::string, bool>("a/b", false)));
}

TEST(PolicyFile, RefusesAnythingMalformedNamingThePlace) {
  const std::string deep = std::string(20, '[') + std::string(20, ']');
  const struct {
    std::string text;
    std::string expected;  // the message's start
  } cases[] = {
      {"", "/: not JSON"},
      {R"({"verdict": "genuine",})", "/: not JSON"},
      {"[]", "/: not an object of rules"},
      {"{}", "/: names no rule"},
      {R"({"verdit": "genuine"})", "/verdit: not a rule"},
      {R"({"verdict": "genuine", "verdict": "not genuine"})", "/verdict: named twice"},
      {R"({"verdict": "Genuine"})", "/verdict: not a verdict"},
      {R"({"verdict": true})", "/verdict: not a verdict"},
      {R"({"models": {}})", "/models: not a list"},
      {R"({"models": []})", "/models: not a list"},
      {R"({"models": [{"aaguid": "cb69481e-8ff7-4039-93ec-0a2729a154a"}]})",
       "/models/0/aaguid: not a UUID"},
      {R"({"models": [{"aaguid": 5}]})", "/models/0/aaguid: not a text"},
      {R"({"models": [{"keyIdentifier": "1434d2f277fe479c35ddf6aa4d08a07cbce99dzz"}]})",
       "/models/0/keyIdentifier: not 40 hex"},
      {R"({"models": [{"aaguid": "cb69481e8ff7403993ec0a2729a154a8"},
           {"aaguid": "cb69481e8ff7403993ec0a2729a154a8", "minFirmware": -1}]})",
       "/models/1/minFirmware: not an unsigned integer"},
      {R"({"models": [{"aaguid": "cb69481e8ff7403993ec0a2729a154a8", "minFirmware": 1.5}]})",
       "/models/0/minFirmware: not an unsigned integer"},
      {R"({"models": [{"name": "x"}]})", "/models/0: needs exactly one"},
      {R"({"models": [{"aaguid": "cb69481e8ff7403993ec0a2729a154a8",
           "keyIdentifier": "1434d2f277fe479c35ddf6aa4d08a07cbce99dd7"}]})",
       "/models/0: needs exactly one"},
      {R"({"models": [{"aaguid": "cb69481e8ff7403993ec0a2729a154a8", "min": 1}]})",
       "/models/0/min: not a member"},
      {R"({"certification": "L2"})", "/certification: not a certification level"},
      {R"({"certification": "FIDO_CERTIFIED_L4"})", "/certification: not a certification level"},
      {R"({"fips": "yes"})", "/fips: not true"},
      {R"({"fips": false})", "/fips: not true"},
      {R"({"options": {}})", "/options: not an object"},
      {R"({"versions": []})", "/versions: not a list"},
      {R"({"metadataCurrent": false})", "/metadataCurrent: not true"},
      {R"({"pin": "unset"})", "/pin: not \"set\""},
      {R"({"passkeys": "0"})", "/passkeys: not an unsigned integer"},
      {R"({"options": {"alwaysUv": "true"}})", "/options/alwaysUv: not true or false"},
      {R"({"options": {"a~b": 1}})", "/options/a~0b: not true or false"},
      {R"({"options": []})", "/options: not an object"},
      {R"({"versions": "FIDO_2_1"})", "/versions: not a list"},
      {R"({"versions": ["FIDO_2_0", 2]})", "/versions/1: not a version"},
      {R"({"versions": )" + deep + "}", "/versions/0/0/0/0/0/0/0: nested deeper"},
  };
  for (const auto& c : cases) {
    Policy policy;
    const std::string message = Read(c.text, policy);
    EXPECT_EQ(message.rfind(c.expected, 0), 0u) << c.text << "\n -> " << message;
    EXPECT_TRUE(policy.rules.empty()) << c.text;
  }
}

TEST(PolicyFile, AFileTooLargeOrMissingIsRefused) {
  Policy policy;
  const std::string big(POLICY_MAX_FILE_BYTES + 1, ' ');
  EXPECT_NE(Read(big, policy).find("larger than"), std::string::npos);
  EXPECT_NE(ReadPolicyFile("/nonexistent/policy.json", policy), "");
}

}  // namespace
