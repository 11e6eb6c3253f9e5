// Writing simulated key profiles and reading them back.
#include "simkey/sim_profile_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simkey/sim_profile.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<SimDeviceConfig> Reload(const std::string& json) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  EXPECT_TRUE(LoadSimProfile(json, devices, error)) << error << "\n" << json;
  return devices;
}

TEST(SimProfileWriterTest, TheDefaultKeyReadsBackTheSame) {
  const std::vector<SimDeviceConfig> devices(2);
  const std::string json = SimProfileJson(devices, "");
  EXPECT_EQ(Reload(json), devices);
  EXPECT_EQ(json.find("comment"), std::string::npos);
  EXPECT_NE(json.find("\"vendorId\": \"096E\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"builtin\": true"), std::string::npos);
  EXPECT_EQ(json.find("pinRetries"), std::string::npos) << "default values are left out";
  EXPECT_EQ(json.find("misbehave"), std::string::npos);
  EXPECT_TRUE(Reload(SimProfileJson({}, "no key")).empty());
}

TEST(SimProfileWriterTest, EveryKindOfRuleAndFieldReadsBackTheSame) {
  const std::string profile = R"({"devices": [ {
      "path": "key-a", "vendorId": "2ccf", "product": "Other \"Key\"\u0001",
      "builtin": false, "pin": "1234", "pinRetries": 3, "pinTokenLength": 16, "uvRetries": 0,
      "pinPowerCycle": true, "ctaphidProtocol": 1, "deviceVersion": [1, 2, 3],
      "capabilities": "0d", "touchDelayMs": 300, "touchCommands": [], "openError": 13,
      "sequentialChannels": true, "processingKeepAlive": true,
      "attestation": { "x5c": "empty", "certificates": 3, "chain": ["3082AA", "30 82 bb"],
                       "privateKey": "7F01010101010101010101010101010101010101010101010101010101010101" },
      "u2f": { "pieces": 4, "extendedFormStatus": "6700", "registerAnswerMs": 0,
               "certificate": "3082CC", "privateKey": "0202020202020202020202020202020202020202020202020202020202020202" },
      "misbehave": { "zeroLengthReports": 2, "ctaphidError": "0b", "readFails": true },
      "card": { "atr": "3B8001", "shortApdusOnly": true, "keepAlives": 2, "u2fOnly": true },
      "apdu": { "80e2800005dfff02800100": ["01 9000", "silent", "broken", "029000"],
                "00A4*": "6A82", "*": "" },
      "cbor": { "04": "00A0", "06A201010207": ["0003", "broken"], "06A2*": "silent", "*": "01" }
    }, { "misbehave": { "silent": true }, "attestation": { "x5c": "none" } } ]})";
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(profile, devices, error)) << error;
  ASSERT_EQ(devices.size(), 2u);
  const SimAnswer silent{SimAnswer::Kind::kSilent, {}};
  const SimAnswer broken{SimAnswer::Kind::kBroken, {}};
  EXPECT_EQ(devices[0].apdu[0].answers,
            (std::vector<SimAnswer>{{SimAnswer::Kind::kReply, {0x01, 0x90, 0x00}},
                                    silent,
                                    broken,
                                    {SimAnswer::Kind::kReply, {0x02, 0x90, 0x00}}}));
  ASSERT_EQ(devices[0].cborRules.size(), 4u);
  EXPECT_EQ(devices[0].cborRules[2], (SimCborRule{{0x06, 0xA2}, true, {silent}}));
  EXPECT_EQ(devices[0].cborRules[3], (SimCborRule{{}, true, {{SimAnswer::Kind::kReply, {0x01}}}}));

  const std::string json = SimProfileJson(devices, "recorded");
  EXPECT_EQ(Reload(json), devices);
  EXPECT_NE(json.find("\"comment\": \"recorded\""), std::string::npos);
  EXPECT_NE(json.find("\"80E2800005DFFF02800100\": [\n"), std::string::npos) << json;
  EXPECT_NE(json.find("\"00A4*\": \"6A82\""), std::string::npos);
  EXPECT_NE(json.find("\"ctaphidError\": \"0B\""), std::string::npos);
}

TEST(SimProfileWriterTest, ShorthandAndDeadRulesKeepTheirBehaviour) {
  SimDeviceConfig config;
  config.apdu.push_back({{0x00, 0xA4}, true, Bytes{0x90, 0x00}});
  config.apdu.push_back({{0x00, 0xA4}, true, Bytes{0x6A, 0x82}});  // never answers
  config.apdu.push_back({{0x80}, false, std::vector<SimAnswer>{}});
  config.cborRules.push_back({{0x04}, false, {{SimAnswer::Kind::kReply, {0x00, 0xA0}}}});
  config.cbor[0x04] = {0x00, 0xA1};  // loses to the rule above
  config.cbor[0x06] = {0x00, 0xA2};

  SimDeviceConfig expected = config;
  expected.apdu.erase(expected.apdu.begin() + 1);
  expected.apdu[1].answers = {SimAnswer()};
  expected.cborRules.push_back({{0x06}, false, {{SimAnswer::Kind::kReply, {0x00, 0xA2}}}});
  expected.cbor.clear();
  EXPECT_EQ(Reload(SimProfileJson({config}, "")), std::vector<SimDeviceConfig>{expected});
}

TEST(SimProfileWriterTest, TextThatIsNotUtf8IsReplacedNotThrown) {
  SimDeviceConfig config;
  config.product = "Key \xFF\xC3";
  config.path = std::string("a\0b", 3);
  const std::vector<SimDeviceConfig> devices = Reload(SimProfileJson({config}, "\x80"));
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].product, "Key \xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(devices[0].path, config.path);
}

}  // namespace
