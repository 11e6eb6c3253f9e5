// The "Details" page: end to end through the real transport against the
// simulated key, and from hand-made answers for what a key may get wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cbor/cbor_tree.h"
#include "keyinfo/applet_queries.h"
#include "keyinfo/details_page.h"
#include "keyinfo/details_questions.h"
#include "keyinfo/device_state.h"
#include "keyinfo/getinfo_members.h"
#include "keyinfo/hex_encode.h"
#include "simkey/sim_cbor.h"
#include "simkey/sim_default_key.h"
#include "simkey/sim_platform.h"
#include "simkey/sim_profile.h"
#include "tests/keyinfo/sim_key_fixture.h"
#include "tests/source_dir.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

namespace {

std::string Value(const ReportList& list, const std::string& caption) {
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.Cell(row, 0) == caption) return list.Cell(row, 1);
  }
  return "<no row>";
}

std::vector<std::string> Captions(const ReportList& list) {
  std::vector<std::string> captions;
  for (size_t row = 0; row < list.RowCount(); ++row) captions.push_back(list.Cell(row, 0));
  return captions;
}

std::string Hex(const std::vector<uint8_t>& bytes) { return LowerHex(bytes.data(), bytes.size()); }

class DetailsPageTest : public SimKeyTest {
 protected:
  void SetUp() override {
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
  }
  const ReportList& Details() { return DetailsList(model); }

  QuillmarkModel model;
};

const std::vector<std::string> kDefaultKeyCaptions = {
    "CTAPHID protocol",
    "Device version",
    "Capabilities",
    "versions",
    "extensions",
    "aaguid",
    "options",
    "maxMsgSize",
    "pinUvAuthProtocols",
    "maxCredentialCountInList",
    "maxCredentialIdLength",
    "transports",
    "algorithms",
    "maxSerializedLargeBlobArray",
    "forcePINChange",
    "minPINLength",
    "firmwareVersion",
    "maxCredBlobLength",
    "maxRPIDsForSetMinPINLength",
    "preferredPlatformUvAttempts",
    "uvModality",
    "certifications",
    "remainingDiscoverableCredentials",
    "vendorPrototypeConfigCommands",
    "attestationFormats",
    "uvCountSinceLastPinEntry",
    "longTouchForReset",
    "encIdentifier",
    "transportsForReset",
    "pinComplexityPolicy",
    "pinComplexityPolicyURL",
    "maxPINLength",
    "encCredStoreState",
    "authenticatorConfigCommands",
    "PIN retries",
    "UV retries",
    "GetInfo (hex)",
    "GetInfo (diagnostic)",
};

TEST_F(DetailsPageTest, DefaultKeyShowsEveryMemberItsRetriesAndCtaphidFacts) {
  platform.AddDevice(SimDeviceConfig());
  GetDeviceState(model, "", "");
  const ReportList& list = Details();
  EXPECT_EQ(Captions(list), kDefaultKeyCaptions);

  const std::pair<const char*, const char*> kValues[] = {
      {"CTAPHID protocol", "2"},
      {"Device version", "5.2.7"},
      {"Capabilities", "WINK, CBOR"},
      {"versions", "U2F_V2, FIDO_2_0, FIDO_2_1"},
      {"extensions", "credProtect, hmac-secret, largeBlobKey, credBlob, minPinLength"},
      {"aaguid", "514d2d53-494d-4b45-592d-414147554944"},
      {"options",
       "rk=true, up=true, uv=false, plat=false, uvAcfg=false, alwaysUv=false, credMgmt=true, "
       "authnrCfg=true, bioEnroll=false, clientPin=false, largeBlobs=true, uvBioEnroll=false, "
       "pinUvAuthToken=true, setMinPINLength=true, makeCredUvNotRqd=true, "
       "credentialMgmtPreview=true, userVerificationMgmtPreview=false, "
       "noMcGaPermissionsWithClientPin=false"},
      {"maxMsgSize", "1200"},
      {"pinUvAuthProtocols", "2, 1"},
      {"transports", "nfc, usb"},
      {"algorithms", "ES256 (-7), EdDSA (-8)"},
      {"forcePINChange", "false"},
      {"firmwareVersion", "328199"},
      {"uvModality", "2 (fingerprint_internal)"},
      {"certifications", "FIDO=2, CC-EAL=5, FIPS-CMVP-2=2, FIPS-CMVP-2-PHY=3"},
      // Sent as a number where an array belongs: in diagnostic notation.
      {"vendorPrototypeConfigCommands", "1"},
      {"attestationFormats", "packed, none"},
      {"uvCountSinceLastPinEntry", "0"},
      {"longTouchForReset", "false"},
      {"encIdentifier", "3a910c5e77d2481fb006e4298d53c17a"},
      {"transportsForReset", "usb"},
      {"pinComplexityPolicyURL", "https://pin.example/policy"},
      {"maxPINLength", "63"},
      {"encCredStoreState", "00112233445566778899aabbccddeeff"},
      {"authenticatorConfigCommands", "1, 2, 3"},
      {"PIN retries", "8"},
      {"UV retries", "5"},
  };
  for (const auto& [caption, value] : kValues) EXPECT_EQ(Value(list, caption), value) << caption;
  EXPECT_EQ(Value(list, "GetInfo (hex)"), Hex(SimDefaultGetInfo(false)));
  const std::string notation = Value(list, "GetInfo (diagnostic)");
  EXPECT_EQ(notation.rfind("{1: [\"U2F_V2\", \"FIDO_2_0\", \"FIDO_2_1\"], 2: [", 0), 0u)
      << notation;
  EXPECT_NE(notation.find("10: [{\"alg\": -7, \"type\": \"public-key\"}"), std::string::npos);
  EXPECT_NE(notation.find("31: [1, 2, 3]}"), std::string::npos) << notation;
}

TEST_F(DetailsPageTest, RetriesQuestionsComeLastAndUseTheKeysProtocol) {
  SimDevice& device = platform.AddDevice(SimDeviceConfig());
  GetDeviceState(model, "", "");
  std::vector<std::vector<uint8_t>> cbor;
  for (const SimDevice::Message& message : device.receivedMessages) {
    if (message.command == CTAPHID_CBOR) cbor.push_back(message.payload);
  }
  ASSERT_GE(cbor.size(), 3u);
  // The GetInfo request comes before the two questions, which end the refresh:
  // getPINRetries, then getUVRetries, with protocol 2, the key's first.
  EXPECT_EQ(cbor[cbor.size() - 3], std::vector<uint8_t>{0x04});
  EXPECT_EQ(cbor[cbor.size() - 2], (std::vector<uint8_t>{0x06, 0xA2, 0x01, 0x02, 0x02, 0x01}));
  EXPECT_EQ(cbor[cbor.size() - 1], (std::vector<uint8_t>{0x06, 0xA2, 0x01, 0x02, 0x02, 0x07}));
  EXPECT_EQ(device.receivedMessages.back().payload, cbor.back());
}

// A GetInfo map built by hand: status byte 0, then the map.
std::vector<uint8_t> Answer(const SimCborOut& map) {
  std::vector<uint8_t> answer = {0x00};
  answer.insert(answer.end(), map.bytes().begin(), map.bytes().end());
  return answer;
}

TEST_F(DetailsPageTest, NewerMembersUnknownMembersAndWrongTypes) {
  SimCborOut map;
  map.Map(21);
  map.Unsigned(0x01);
  map.Array(1);
  map.Text("FIDO_2_2");
  map.Unsigned(0x03);  // one byte short of an aaguid
  const uint8_t shortAaguid[15] = {0xAB};
  map.Bytes(shortAaguid, sizeof shortAaguid);
  map.Unsigned(0x04);
  map.Map(3);
  map.Text("uv");
  map.Bool(true);
  map.Text("zz");
  map.Bool(false);
  map.Text("clientPin");
  map.Bool(true);
  map.Unsigned(0x05);  // text where a number belongs
  map.Text("big");
  map.Unsigned(0x0A);
  map.Array(3);
  for (int64_t algorithm : {-48, -257, -35}) {
    map.Map(2);
    map.Text("alg");
    map.Int(algorithm);
    map.Text("type");
    map.Text("public-key");
  }
  map.Unsigned(0x0E);
  map.Unsigned(UINT64_MAX);
  map.Unsigned(0x12);
  map.Unsigned(0x802 | 0x4000);
  map.Unsigned(0x16);
  map.Array(2);
  map.Text("packed");
  map.Text("tpm");
  map.Unsigned(0x17);
  map.Unsigned(4);
  map.Unsigned(0x18);
  map.Bool(true);
  map.Unsigned(0x19);
  const uint8_t identifier[] = {0x01, 0xFE};
  map.Bytes(identifier, sizeof identifier);
  map.Unsigned(0x1A);
  map.Array(2);
  map.Text("usb");
  map.Text("nfc");
  map.Unsigned(0x1B);
  map.Bool(true);
  map.Unsigned(0x1C);  // not UTF-8: shown in hex
  const uint8_t badUrl[] = {0x68, 0xFF};
  map.Bytes(badUrl, sizeof badUrl);
  map.Unsigned(0x1D);
  map.Unsigned(64);
  map.Unsigned(0x1E);
  map.Bytes(identifier, sizeof identifier);
  map.Unsigned(0x1F);
  map.Array(2);
  map.Unsigned(2);
  map.Int(-1);  // not a command number: the member in diagnostic notation
  map.Unsigned(0x20);
  map.Text("later");
  map.Text("vendor");
  map.Map(1);
  map.Int(-3);
  map.Bool(false);
  map.Int(-5);
  map.Unsigned(0x1234);
  map.Unsigned(0x0C);  // a boolean member as a number
  map.Unsigned(1);

  SimDeviceConfig config;
  config.cbor[0x04] = Answer(map);
  config.pin = "1234";
  config.pinRetries = 3;
  config.pinPowerCycle = true;
  config.uvRetries = 0;
  config.ctaphidProtocol = 2;
  config.deviceVersion = {1, 20, 44};
  config.capabilities = 0xFD;
  SimDevice& device = platform.AddDevice(config);
  GetDeviceState(model, "", "");

  const std::vector<std::pair<std::string, std::string>> kExpected = {
      {"CTAPHID protocol", "2"},
      {"Device version", "1.20.44"},
      {"Capabilities", "WINK, CBOR, NMSG, 0x10, 0x20, 0x40, 0x80"},
      {"versions", "FIDO_2_2"},
      {"aaguid", "h'ab" + std::string(28, '0') + "'"},
      {"options", "uv=true, zz=false, clientPin=true"},
      {"maxMsgSize", "\"big\""},
      {"algorithms", "-48, RS256 (-257), ES384 (-35)"},
      {"firmwareVersion", "18446744073709551615"},
      {"uvModality", "18434 (fingerprint_internal, passcode_external, 0x4000)"},
      {"attestationFormats", "packed, tpm"},
      {"uvCountSinceLastPinEntry", "4"},
      {"longTouchForReset", "true"},
      {"encIdentifier", "01fe"},
      {"transportsForReset", "usb, nfc"},
      {"pinComplexityPolicy", "true"},
      {"pinComplexityPolicyURL", "68ff"},
      {"maxPINLength", "64"},
      {"encCredStoreState", "01fe"},
      {"authenticatorConfigCommands", "[2, -1]"},
      {"0x20", "\"later\""},
      {"\"vendor\"", "{-3: false}"},
      {"-5", "4660"},
      {"forcePINChange", "1"},
      {"PIN retries", "3"},
      {"Power cycle needed", "true"},
      {"UV retries", "0"},
  };
  const ReportList& list = Details();
  std::vector<std::pair<std::string, std::string>> rows;
  for (size_t row = 0; row + 2 < list.RowCount(); ++row) {
    rows.emplace_back(list.Cell(row, 0), list.Cell(row, 1));
  }
  EXPECT_EQ(rows, kExpected);
  EXPECT_EQ(Value(list, "GetInfo (hex)"), Hex(map.bytes()));
  // No protocol listed: the questions name protocol 1.
  const std::vector<uint8_t> lastQuestion = device.receivedMessages.back().payload;
  EXPECT_EQ(lastQuestion, (std::vector<uint8_t>{0x06, 0xA2, 0x01, 0x01, 0x02, 0x07}));
}

TEST_F(DetailsPageTest, ProfileWithNewerAndUnknownMembers) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(
      LoadSimProfileFile(SourceDir() + "/simkey/profiles/newer-members.json", devices, error))
      << error;
  ASSERT_EQ(devices.size(), 1u);
  platform.AddDevice(devices[0]);
  GetDeviceState(model, "", "");

  const std::vector<std::pair<std::string, std::string>> kExpected = {
      {"CTAPHID protocol", "2"},
      {"Device version", "7.1.0"},
      {"Capabilities", "WINK, CBOR, NMSG"},
      {"versions", "FIDO_2_1, FIDO_2_2"},
      {"aaguid", "01234567-89ab-cdef-0123-456789abcdef"},
      {"options", "rk=true, uv=true, clientPin=true, pinUvAuthToken=true, newOption=false"},
      {"pinUvAuthProtocols", "2, 1"},
      {"algorithms", "ES256 (-7), ESP256 (-9), -48"},
      {"attestationFormats", "packed, none"},
      {"uvCountSinceLastPinEntry", "2"},
      {"longTouchForReset", "true"},
      {"encIdentifier", "c0ffee00c0ffee00c0ffee00c0ffee00"},
      {"transportsForReset", "usb"},
      {"pinComplexityPolicy", "true"},
      {"pinComplexityPolicyURL", "https://keys.example/pin-policy"},
      {"maxPINLength", "32"},
      {"encCredStoreState", "5eed"},
      {"authenticatorConfigCommands", "1, 2, 3, 4"},
      {"0x2A", "{\"future\": 1}"},
      {"PIN retries", "5"},
      {"Power cycle needed", "true"},
      {"UV retries", "2"},
  };
  const ReportList& list = Details();
  std::vector<std::pair<std::string, std::string>> rows;
  for (size_t row = 0; row + 2 < list.RowCount(); ++row) {
    rows.emplace_back(list.Cell(row, 0), list.Cell(row, 1));
  }
  EXPECT_EQ(rows, kExpected);
  EXPECT_NE(Value(list, "GetInfo (diagnostic)").find("42: {\"future\": 1}}"), std::string::npos);
}

TEST_F(DetailsPageTest, RetriesOnlyWhenTheKeySaysItHasThem) {
  const struct {
    const char* name;
    std::vector<uint8_t> options;  // the options map
    std::vector<uint8_t> clientPinAnswer;
    std::vector<std::string> rows;
    size_t questions;
  } kCases[] = {
      {"no options", {0xA0}, {}, {}, 0},
      {"clientPin only",
       {0xA1, 0x69, 'c', 'l', 'i', 'e', 'n', 't', 'P', 'i', 'n', 0xF4},
       {},
       {"PIN retries"},
       1},
      {"uv only", {0xA1, 0x62, 'u', 'v', 0xF4}, {}, {"UV retries"}, 1},
      {"refused", {0xA1, 0x62, 'u', 'v', 0xF5}, {0x2B}, {}, 1},
      {"status alone", {0xA1, 0x62, 'u', 'v', 0xF5}, {0x00}, {}, 1},
      {"wrong member", {0xA1, 0x62, 'u', 'v', 0xF5}, {0x00, 0xA1, 0x03, 0x01}, {}, 1},
      {"not a map", {0xA1, 0x62, 'u', 'v', 0xF5}, {0x00, 0x05}, {}, 1},
  };
  for (const auto& c : kCases) {
    SimKeyPlatform keys;
    KeyDevice::Instance().SetPlatform(&keys);
    KeyDevice::Instance().SetClock(&keys.clock());
    SimDeviceConfig config;
    config.cbor[0x04] = {0x00, 0xA1, 0x04};
    config.cbor[0x04].insert(config.cbor[0x04].end(), c.options.begin(), c.options.end());
    if (!c.clientPinAnswer.empty()) config.cbor[0x06] = c.clientPinAnswer;
    SimDevice& device = keys.AddDevice(config);
    GetDeviceState(model, "", "");

    std::vector<std::string> retryRows;
    size_t questions = 0;
    for (const std::string& caption : Captions(Details())) {
      if (caption.find("retries") != std::string::npos) retryRows.push_back(caption);
    }
    for (const SimDevice::Message& message : device.receivedMessages) {
      if (message.command == CTAPHID_CBOR && message.payload[0] == 0x06) ++questions;
    }
    EXPECT_EQ(retryRows, c.rows) << c.name;
    EXPECT_EQ(questions, c.questions) << c.name;
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

TEST_F(DetailsPageTest, KeyWithoutGetInfoShowsItsCtaphidFactsOnly) {
  SimDeviceConfig config;
  config.cbor[0x04] = {0x01};  // refuses GetInfo
  config.capabilities = 0x00;
  platform.AddDevice(config);
  GetDeviceState(model, "", "");
  EXPECT_EQ(Captions(Details()),
            (std::vector<std::string>{"CTAPHID protocol", "Device version", "Capabilities"}));
  EXPECT_EQ(Value(Details(), "Capabilities"), "none");

  // No key: the page empties with the others.
  platform.RemoveDevice(platform.device(0).config.path);
  GetDeviceState(model, "", "");
  EXPECT_EQ(Details().RowCount(), 0u);
}

TEST_F(DetailsPageTest, StatusByteAloneIsNoAnswer) {
  uint8_t buffer[GETINFO_RESPONSE_CAPACITY] = {};
  FillDetailsPage(model, buffer, GETINFO_RESPONSE_CAPACITY, GETINFO_RESPONSE_CAPACITY);
  EXPECT_EQ(Value(Details(), "GetInfo (hex)"), "<no row>");
  FillDetailsPage(model, buffer, 1, GETINFO_RESPONSE_CAPACITY);
  EXPECT_EQ(Value(Details(), "GetInfo (hex)"), "00");
  EXPECT_EQ(Value(Details(), "GetInfo (diagnostic)"), "0");
}

// Answers no key should send: every one gives rows of bounded length or no
// row, never a crash.
TEST(DetailsPageBadInputTest, BadAnswersGiveBoundedRowsOrNone) {
  std::vector<uint8_t> deep;
  for (int i = 0; i < 200; ++i) deep.push_back(0x81);
  deep.push_back(0x00);
  std::vector<uint8_t> deepMember = {0xA1, 0x01};
  deepMember.insert(deepMember.end(), deep.begin(), deep.end());
  std::vector<uint8_t> hugeArray = {0xA1, 0x06, 0x99, 0x0F, 0xA0};  // 4000 numbers
  hugeArray.insert(hugeArray.end(), 4000, 0x17);
  // 4000 empty byte strings: "h''" each, more notation than a row holds.
  std::vector<uint8_t> hugeNotation = {0x99, 0x0F, 0xA0};
  hugeNotation.insert(hugeNotation.end(), 4000, 0x40);

  const struct {
    const char* name;
    std::vector<uint8_t> answer;
    std::vector<std::string> captions;
  } kCases[] = {
      {"deep member", deepMember, {"GetInfo (hex)"}},
      {"cut off", {0xA2, 0x01, 0x80}, {"GetInfo (hex)"}},
      {"not a map", {0x83, 0x01, 0x02, 0x03}, {"GetInfo (hex)", "GetInfo (diagnostic)"}},
      {"indefinite map",
       {0xBF, 0x05, 0x19, 0x04, 0xB0, 0xFF},
       {"maxMsgSize", "GetInfo (hex)", "GetInfo (diagnostic)"}},
      {"trailing item",
       {0xA1, 0x05, 0x01, 0x02},
       {"maxMsgSize", "GetInfo (hex)", "GetInfo (diagnostic)"}},
      {"huge array", hugeArray, {"pinUvAuthProtocols", "GetInfo (hex)", "GetInfo (diagnostic)"}},
      {"huge notation", hugeNotation, {"GetInfo (hex)", "GetInfo (diagnostic)"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    QuillmarkModel model;
    DetailsFacts facts;
    facts.getInfo = c.answer.data();
    facts.getInfoLength = c.answer.size();
    ShowDetailsPage(model, facts);
    const ReportList& list = DetailsList(model);
    EXPECT_EQ(Captions(list), c.captions) << c.name;
    for (size_t row = 0; row < list.RowCount(); ++row) {
      EXPECT_LE(list.Cell(row, 1).size(), DETAILS_ANSWER_LIMIT + 3) << c.name;
      if (list.Cell(row, 0).rfind("GetInfo", 0) != 0) {
        EXPECT_LE(list.Cell(row, 1).size(), DETAILS_VALUE_LIMIT + 3) << c.name;
      }
    }
  }
  // Texts a single-line cell cannot show as they are: escaped in notation.
  const std::vector<uint8_t> lineBreak = {0xA2, 0x01, 0x81, 0x62, 'a', '\n',
                                          0x02, 0x81, 0x62, 'b',  0xFF};
  QuillmarkModel escaped;
  DetailsFacts escapedFacts;
  escapedFacts.getInfo = lineBreak.data();
  escapedFacts.getInfoLength = lineBreak.size();
  ShowDetailsPage(escaped, escapedFacts);
  EXPECT_EQ(Value(DetailsList(escaped), "versions"), "[\"a\\n\"]");
  // A text that is not UTF-8 keeps its bytes.
  EXPECT_EQ(Value(DetailsList(escaped), "extensions"), "[h'62ff' / not UTF-8 /]");

  QuillmarkModel model;
  DetailsFacts facts;
  facts.getInfo = hugeNotation.data();
  facts.getInfoLength = hugeNotation.size();
  ShowDetailsPage(model, facts);
  const std::string notation = Value(DetailsList(model), "GetInfo (diagnostic)");
  EXPECT_EQ(notation.size(), DETAILS_ANSWER_LIMIT + 3);
  EXPECT_EQ(notation.substr(notation.size() - 3), "...");
}

}  // namespace
