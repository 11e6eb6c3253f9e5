// The whole refresh, end to end through the real transport against the
// simulated key.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "keyinfo/device_state.h"
#include "simkey/sim_default_key.h"
#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

namespace {

class DeviceStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
  }
  void TearDown() override {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  static std::vector<std::string> Captions(const ReportList& list) {
    std::vector<std::string> captions;
    for (size_t row = 0; row < list.RowCount(); ++row) captions.push_back(list.Cell(row, 0));
    return captions;
  }
  static std::string Value(const ReportList& list, const std::string& caption) {
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (list.Cell(row, 0) == caption) return list.Cell(row, 1);
    }
    return "<no row>";
  }
  static std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
  }

  SimKeyPlatform platform;
  QuillmarkModel model;
};

const std::vector<std::string> kAppletCaptions = {"Device name", "VID",
                                                  "PID",         "Firmware Version",
                                                  "IDentify",    "Fingerprint Module Version",
                                                  "    ",        "Win Hello Version",
                                                  "OTP Version", "PIV Version",
                                                  "GIDS",        "NDEF",
                                                  "U2F Version", "authenticatorGetInfo"};

TEST_F(DeviceStateTest, DefaultKeyFillsEveryList) {
  platform.AddDevice(SimDeviceConfig());
  model.securityKeyInfoEnabled = true;
  GetDeviceState(model, "", "");

  const ReportList& info = model.infoList;
  const std::vector<std::string> captions = Captions(info);
  ASSERT_GT(captions.size(), kAppletCaptions.size());
  EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + kAppletCaptions.size()),
            kAppletCaptions);
  // Every GetInfo row after the first has the caption " ".
  for (size_t row = kAppletCaptions.size(); row < captions.size(); ++row) {
    EXPECT_EQ(captions[row], " ") << row;
  }

  EXPECT_EQ(Value(info, "Device name"), "Simulated Key");
  EXPECT_EQ(Value(info, "VID"), "096E");
  EXPECT_EQ(Value(info, "PID"), "0858");
  EXPECT_EQ(Value(info, "Firmware Version"), "0100");
  std::string identify;
  for (uint8_t byte : SIMKEY_IDENTIFY_DATA) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    identify += hex;
  }
  EXPECT_EQ(Value(info, "IDentify"), identify + "9000");
  EXPECT_EQ(Value(info, "Fingerprint Module Version"), Hex4(SIMKEY_FINGERPRINT_VERSION));
  EXPECT_EQ(info.Row(6).size(), 1u) << "the separator row has no value cell";
  EXPECT_EQ(Value(info, "Win Hello Version"), Hex4(SIMKEY_WINHELLO_VERSION));
  EXPECT_EQ(Value(info, "OTP Version"), Hex4(SIMKEY_OTP_VERSION));
  EXPECT_EQ(Value(info, "PIV Version"), Hex4(SIMKEY_PIV_VERSION));
  EXPECT_EQ(Value(info, "GIDS"), Hex4(SIMKEY_GIDS_VERSION));
  EXPECT_EQ(Value(info, "NDEF"), "yes");
  EXPECT_EQ(Value(info, "U2F Version"), Hex4(SIMKEY_U2F_VERSION));
  EXPECT_EQ(Value(info, "authenticatorGetInfo"), "versions: U2F_V2  FIDO_2_0  FIDO_2_1  ");
  EXPECT_EQ(info.Cell(14, 1),
            "extensions: credProtect  hmac-secret  largeBlobKey  credBlob  minPinLength  ");
  EXPECT_EQ(info.Cell(15, 1), "aaguid: 514d2d53494d4b45592d414147554944");
  EXPECT_EQ(info.Cell(info.RowCount() - 1, 1), "vendorPrototypeConfigCommands: 1  ");

  EXPECT_EQ(model.aaguidText, "514D2D53494D4B45592D414147554944");
  EXPECT_FALSE(keyHasPin);

  ASSERT_EQ(model.fido2List.RowCount(), 1u);
  EXPECT_EQ(model.fido2List.Cell(0, 0), "Tips");
  ASSERT_EQ(model.u2fList.RowCount(), 2u);
  EXPECT_EQ(model.u2fList.Cell(1, 0), " ");
  EXPECT_EQ(model.u2fList.Cell(1, 1), " ");

  // One entry row per tag, plus the continuation rows of 0x87 (six), 0x89
  // and 0x93 (one each).
  const std::vector<std::string> tags = Captions(model.securityKeyList);
  std::vector<std::string> entryTags;
  for (const std::string& tag : tags) {
    if (tag != " ") entryTags.push_back(tag);
  }
  EXPECT_EQ(entryTags, (std::vector<std::string>{"81", "82", "83", "84", "85", "86", "87", "88",
                                                 "89", "90", "91", "92", "93", "94"}));
  EXPECT_EQ(tags.size(), 14u + 6u + 1u + 1u);
}

TEST_F(DeviceStateTest, RequestsOfOneRefreshInOrder) {
  SimDevice& device = platform.AddDevice(SimDeviceConfig());
  model.securityKeyInfoEnabled = true;
  GetDeviceState(model, "", "");
  std::vector<uint8_t> commands;
  size_t apdus = 0;
  for (const SimDevice::Message& message : device.receivedMessages) {
    commands.push_back(message.command);
    if (message.command == CTAPHID_MSG) ++apdus;
  }
  // INIT, 13 APDUs, GetInfo, the hardware record request.
  ASSERT_EQ(commands.size(), 16u);
  EXPECT_EQ(commands.front(), CTAPHID_INIT);
  EXPECT_EQ(commands[14], CTAPHID_CBOR);
  EXPECT_EQ(device.receivedMessages[14].payload, std::vector<uint8_t>{0x04});
  EXPECT_EQ(apdus, 14u);
  EXPECT_EQ(device.receivedMessages[15].payload,
            (std::vector<uint8_t>{0x80, 0xE3, 0xEE, 0x80, 0x00}));
}

TEST_F(DeviceStateTest, SwitchOffSendsNoHardwareRequestAndLeavesTheListAlone) {
  SimDevice& device = platform.AddDevice(SimDeviceConfig());
  model.securityKeyList.AppendRow("stale");
  GetDeviceState(model, "", "");
  EXPECT_EQ(device.receivedMessages.size(), 15u);
  EXPECT_EQ(model.securityKeyList.RowCount(), 1u);
}

TEST_F(DeviceStateTest, MissingAppletsLeaveTheirRowsOut) {
  SimDeviceConfig config;
  // No fingerprint module and no NDEF applet.
  config.apdu.push_back({{0x80, 0xE3, 0x00, 0x00, 0x00}, false, {0x6D, 0x00}});
  config.apdu.push_back({{0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76}, true, {0x6A, 0x82}});
  platform.AddDevice(config);
  GetDeviceState(model, "", "");
  const std::vector<std::string> captions = Captions(model.infoList);
  const std::vector<std::string> expected = {"Device name",
                                             "VID",
                                             "PID",
                                             "Firmware Version",
                                             "IDentify",
                                             "    ",
                                             "Win Hello Version",
                                             "OTP Version",
                                             "PIV Version",
                                             "GIDS",
                                             "U2F Version",
                                             "authenticatorGetInfo"};
  EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + expected.size()),
            expected);
}

TEST_F(DeviceStateTest, GetInfoErrorEndsTheListWithTheAppletRows) {
  SimDeviceConfig config;
  config.cbor[0x04] = {0x2E};
  platform.AddDevice(config);
  model.securityKeyInfoEnabled = true;
  GetDeviceState(model, "", "");
  EXPECT_EQ(Captions(model.infoList).back(), "U2F Version");
  EXPECT_EQ(model.securityKeyList.RowCount(), 0u);
  EXPECT_TRUE(model.aaguidText.empty());
  EXPECT_FALSE(keyHasPin);
}

TEST_F(DeviceStateTest, GetInfoOfTheStatusByteAloneReadsAsZeros) {
  SimDeviceConfig config;
  config.cbor[0x04] = {0x00};
  platform.AddDevice(config);
  GetDeviceState(model, "", "");
  EXPECT_EQ(Captions(model.infoList).back(), "authenticatorGetInfo");
  EXPECT_EQ(Value(model.infoList, "authenticatorGetInfo"), "versions: ");
}

TEST_F(DeviceStateTest, KeyWithAPinSetsTheFlag) {
  SimDeviceConfig config;
  config.pin = "123456";
  platform.AddDevice(config);
  GetDeviceState(model, "", "");
  EXPECT_TRUE(keyHasPin);
}

TEST_F(DeviceStateTest, SelectionByIds) {
  SimDeviceConfig first;
  first.product = "First";
  SimDeviceConfig second;
  second.vendorId = 0x2CCF;
  second.productId = 0x000A;
  second.product = "Second";
  SimDeviceConfig twin = second;
  twin.product = "Twin";
  platform.AddDevice(first);
  platform.AddDevice(second);
  platform.AddDevice(twin);

  struct Case {
    const char* vid;
    const char* pid;
    const char* shown;  // nullptr: the lists stay empty
  };
  const Case cases[] = {
      {"", "", "First"},
      {"096E", "", "First"},     // one text empty: the first FIDO device
      {"2CCF", "000A", "Twin"},  // two with the same ids: the one enumerated last
      {"2ccf", "000a", "Twin"},
      {"1915", "521F", nullptr},  // not attached
      {"046D", "C52B", nullptr},  // some other USB device
      // Read as wcstol reads base 16: blanks, a sign and 0x are taken.
      {" 2CCF", "0x000A", "Twin"},
      {"+2CCF", "\t0XA", "Twin"},
      {"-001", "000A", nullptr},  // a negative id matches nothing, not the first key
      {"Z", "000A", "First"},     // no digits reads as 0: any first key
      {"FFFFFFFFFF", "000A", nullptr},
  };
  for (const Case& c : cases) {
    GetDeviceState(model, c.vid, c.pid);
    if (c.shown == nullptr) {
      EXPECT_EQ(model.infoList.RowCount(), 0u) << c.vid;
      EXPECT_EQ(model.fido2List.RowCount(), 0u) << c.vid;
      EXPECT_EQ(model.u2fList.RowCount(), 0u) << c.vid;
    } else {
      EXPECT_EQ(Value(model.infoList, "Device name"), c.shown) << c.vid;
    }
  }
  GetDeviceState(model, "2CCF", "000A");
  EXPECT_EQ(Value(model.infoList, "PID"), "000A");
}

TEST_F(DeviceStateTest, LaterTwinAfterAnotherKeyShowsEveryRow) {
  SimDeviceConfig first;
  first.product = "First";
  SimDeviceConfig twin;
  twin.vendorId = 0x2CCF;
  twin.productId = 0x000A;
  platform.AddDevice(first);
  platform.AddDevice(twin);
  twin.product = "Twin";
  SimDevice& later = platform.AddDevice(twin);

  // The start-up refresh talks to the first key on a channel it gave; the
  // device event then names the twins' ids.
  GetDeviceState(model, "", "");
  GetDeviceState(model, "2CCF", "000A");
  EXPECT_EQ(Value(model.infoList, "Device name"), "Twin");
  const std::vector<std::string> captions = Captions(model.infoList);
  ASSERT_GT(captions.size(), kAppletCaptions.size());
  EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + kAppletCaptions.size()),
            kAppletCaptions);
  EXPECT_EQ(model.aaguidText, "514D2D53494D4B45592D414147554944");
  EXPECT_FALSE(later.receivedMessages.empty());
}

TEST_F(DeviceStateTest, KeyThatDoesNotAnswerCostsOneTimeOut) {
  const std::vector<std::string> identity = {"Device name", "VID", "PID", "Firmware Version"};
  const std::vector<std::string> applets(kAppletCaptions.begin(), kAppletCaptions.end() - 1);
  struct Case {
    const char* name;
    void (*misbehave)(SimMisbehaviour&);
    bool answers;
    size_t requests;  // not counting channel allocations
    std::vector<std::string> captions;
  } const cases[] = {
      {"silent after the channel", [](SimMisbehaviour& m) { m.silent = true; }, false, 1, identity},
      {"silent from the start",
       [](SimMisbehaviour& m) {
         m.silent = true;
         m.silentInit = true;
       },
       false, 0, identity},
      // Only the GetInfo answer needs more than one packet: the applet rows
      // stand, the hardware record is not asked for.
      {"long reply cut off", [](SimMisbehaviour& m) { m.truncatedReply = true; }, false, 14,
       applets},
      // An error is an answer: each query makes its first request, and GetInfo
      // is asked.
      {"CTAPHID error to everything",
       [](SimMisbehaviour& m) { m.ctaphidError = 0x06; },
       true,
       9,
       {"Device name", "VID", "PID", "Firmware Version", "    "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimKeyPlatform keys;
    KeyDevice::Instance().SetPlatform(&keys);
    KeyDevice::Instance().SetClock(&keys.clock());
    SimDeviceConfig config;
    c.misbehave(config.misbehave);
    SimDevice& device = keys.AddDevice(config);
    model.securityKeyInfoEnabled = true;

    const uint64_t start = keys.clock().NowMs();
    GetDeviceState(model, "", "");
    const uint64_t waited = keys.clock().NowMs() - start;
    size_t requests = 0;
    for (const SimDevice::Message& message : device.receivedMessages) {
      requests += message.command != CTAPHID_INIT;
    }
    EXPECT_EQ(model.keyDidNotAnswer, !c.answers);
    EXPECT_EQ(requests, c.requests);
    EXPECT_EQ(Captions(model.infoList), c.captions);
    EXPECT_EQ(model.fido2List.RowCount(), 1u);
    EXPECT_EQ(model.securityKeyList.RowCount(), 0u);
    if (!c.answers) {
      EXPECT_EQ(waited, static_cast<uint64_t>(KEY_READ_TIMEOUT_MS)) << "one time-out";
      // The next refresh tries again.
      device.config.misbehave = SimMisbehaviour();
      GetDeviceState(model, "", "");
      EXPECT_FALSE(model.keyDidNotAnswer);
      EXPECT_GT(model.infoList.RowCount(), kAppletCaptions.size());
    }
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
  }
}

TEST_F(DeviceStateTest, NoKeyLeavesEveryListEmpty) {
  model.fido2List.AppendRow("old");
  model.u2fList.AppendRow("old");
  model.infoList.AppendRow("old");
  model.aaguidText = "00";
  keyHasPin = true;
  GetDeviceState(model, "", "");
  EXPECT_EQ(model.infoList.RowCount(), 0u);
  EXPECT_EQ(model.fido2List.RowCount(), 0u);
  EXPECT_EQ(model.u2fList.RowCount(), 0u);
  EXPECT_TRUE(model.aaguidText.empty());
  EXPECT_FALSE(keyHasPin);
  EXPECT_TRUE(KeyLayerReady);
}

}  // namespace
