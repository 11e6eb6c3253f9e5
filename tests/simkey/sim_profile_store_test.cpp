// The profile members of what a key stores and announces: read, written
// back, and refused when bad.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simkey/sim_profile.h"
#include "simkey/sim_profile_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimProfileStoreTest, EveryMemberReadsAndWritesBack) {
  const std::string profile = R"({"devices": [ {
      "credentials": [ { "rpId": "a.example", "rpName": "A", "userId": "0102", "userName": "u",
                         "displayName": "U", "credentialId": "00112233445566778899AABBCCDDEEFF",
                         "credProtect": 3, "largeBlobKey": true, "thirdPartyPayment": true },
                       { "rpId": "b.example", "userId": "03" } ],
      "maxCredentials": 4, "uvAnswer": "3F",
      "getInfo": { "versions": ["FIDO_2_1"], "options": { "uv": true, "perCredMgmtRO": true },
                   "pinUvAuthProtocols": [1], "maxMsgSize": 2048,
                   "maxSerializedLargeBlobArray": 4096, "remainingDiscoverableCredentials": 0 },
      "credmanQuirks": { "totalRPs": "leftOutWhenNone", "emptyRpsStatus": "14",
                         "claimedTotalRPs": 4000000000, "claimedTotalCredentials": 7,
                         "pastEndStatus": "2E", "noMaxRemaining": true },
      "fingerprints": [ { "templateId": "0001", "friendlyName": "thumb" }, { "templateId": "02" } ],
      "fingerprintKind": 2, "samplesForEnroll": 9,
      "largeBlobArray": "80 76BE8B528D0075F7AAE98D6FA57A6D3C" } ]})";
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(profile, devices, error)) << error;
  const SimDeviceConfig& d = devices.at(0);
  ASSERT_EQ(d.credentials.size(), 2u);
  EXPECT_EQ(d.credentials[0].userId, (Bytes{0x01, 0x02}));
  EXPECT_EQ(d.credentials[0].credProtect, 3u);
  EXPECT_TRUE(d.credentials[1].credentialId.empty()) << "derived when the key starts";
  EXPECT_EQ(d.getInfo.options.at("perCredMgmtRO"), true);
  EXPECT_EQ(d.getInfo.remainingDiscoverableCredentials, 0u);
  EXPECT_EQ(d.credmanQuirks.totalRps, SimCredmanQuirks::TotalRps::kLeftOutWhenNone);
  EXPECT_EQ(d.credmanQuirks.claimedTotalRps, 4000000000u);
  EXPECT_EQ(d.uvAnswer, 0x3F);
  EXPECT_EQ(d.fingerprints[1].templateId, Bytes{0x02});
  EXPECT_EQ(d.largeBlobArray.size(), 17u);

  const std::string json = SimProfileJson(devices, "");
  std::vector<SimDeviceConfig> again;
  ASSERT_TRUE(LoadSimProfile(json, again, error)) << error << json;
  EXPECT_EQ(again, devices) << json;
  EXPECT_EQ(SimProfileJson({SimDeviceConfig{}}, "").find("credentials"), std::string::npos);
}

TEST(SimProfileStoreTest, BadMembersNameTheField) {
  const struct {
    const char* device;
    const char* error;
  } cases[] = {
      {R"("credentials": [ {"userId": "01"} ])", "credentials[0]: expected a non-empty \"rpId\""},
      {R"("credentials": [ {"rpId": "a"} ])", "credentials[0]: expected a \"userId\""},
      {R"("credentials": [ {"rpId": "a", "userId": "0G"} ])", "userId: not hexadecimal"},
      {R"("credentials": [ {"rpId": "a", "userId": "01", "credProtect": 4} ])",
       "credProtect: 4 is larger than 3"},
      {R"("credentials": [ {"rpId": "a", "userId": "01", "credentialId": "01"} ])",
       "credentialId: expected 16 to 128 bytes"},
      {R"("credentials": [ {"rpId": "a", "userId": "01", "rk": true} ])",
       "credentials[0].rk: unknown field"},
      {R"("credentials": [ {"rpId": "a", "userId": "01"} ], "maxCredentials": 0)",
       "credentials: more than maxCredentials"},
      {R"("getInfo": {"pinUvAuthProtocols": [3]})", "pinUvAuthProtocols[0]: 3 is larger"},
      {R"("getInfo": {"options": {"uv": 1}})", "getInfo.options.uv: expected true or false"},
      {R"("getInfo": {"maxMsgSize": 10})", "maxMsgSize: 10 is smaller than 64"},
      {R"("credmanQuirks": {"totalRPs": "never"})", "\"never\" is not \"given\""},
      {R"("credmanQuirks": {"pastEndStatus": 0})", "pastEndStatus: a status other than 0"},
      {R"("fingerprints": [ {"friendlyName": "x"} ])", "expected a \"templateId\""},
      {R"("fingerprintKind": 3)", "fingerprintKind: 3 is larger than 2"},
      {R"("largeBlobArray": "80")", "largeBlobArray: expected 17 to"},
      {R"("uvAnswer": "100")", "uvAnswer: 256 is larger"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    std::vector<SimDeviceConfig> devices;
    std::string error;
    EXPECT_FALSE(
        LoadSimProfile(std::string(R"({"devices": [ {)") + c.device + "} ]}", devices, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
