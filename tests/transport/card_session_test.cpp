// The card session and the transport's card keys over simulated cards: the
// real framing against simkey's card, behind a card platform of the test's.
#include <gtest/gtest.h>

#include <memory>

#include "tests/transport/sim_card_platform.h"
#include "transport/card_session.h"
#include "transport/ctaphid.h"
#include "transport/device_name.h"
#include "transport/key_device.h"

namespace {

SimCardOptions Options(bool shortOnly, bool u2fOnly) {
  SimCardOptions options;
  options.shortApdusOnly = shortOnly;
  options.u2fOnly = u2fOnly;
  return options;
}

struct OpenCase {
  const char* name;
  SimCardOptions options;
  bool fido;
  int result;
  bool extended;
  const char* applet;
};

class CardOpenTest : public testing::TestWithParam<OpenCase> {};

TEST_P(CardOpenTest, SelectsTheAppletAndChoosesTheForm) {
  const OpenCase& c = GetParam();
  SimCardPlatform platform;
  platform.Add("Reader", c.options, c.fido);
  CardSession session(platform, platform.clock);
  ASSERT_EQ(session.Open("Reader"), c.result);
  EXPECT_EQ(session.facts().extended, c.extended);
  EXPECT_EQ(session.facts().applet, c.applet);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardOpenTest,
    testing::Values(OpenCase{"Extended", Options(false, false), true, CARD_OK, true, "FIDO_2_0"},
                    OpenCase{"ShortOnly", Options(true, false), true, CARD_OK, false, "FIDO_2_0"},
                    OpenCase{"U2fOnly", Options(false, true), true, CARD_OK, false, "U2F_V2"},
                    OpenCase{"NoFidoApplet", Options(false, false), false, CARD_FAILED, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardSessionTest, ReselectsFidoAfterAnotherAppletAndLosesTheLinkWhenRemoved) {
  SimCardPlatform platform;
  platform.Add("Reader", Options(true, false));
  CardSession session(platform, platform.clock);
  ASSERT_EQ(session.Open("Reader"), CARD_OK);
  const uint8_t ndefSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76,
                                0x00, 0x00, 0x85, 0x01, 0x01, 0x00};
  std::vector<uint8_t> reply;
  ASSERT_EQ(session.Exchange(CTAPHID_MSG, ndefSelect, sizeof ndefSelect, reply), APDU_OK);
  const uint8_t getInfo[] = {0x04};
  ASSERT_EQ(session.Exchange(CTAPHID_CBOR, getInfo, sizeof getInfo, reply), APDU_OK);
  ASSERT_GT(reply.size(), 100u);  // longer than one short answer: 61XX chained
  EXPECT_EQ(reply[0], 0x00);
  // A reader that answers without even a status word has lost the card.
  platform.readers[0].emptyAnswers = true;
  EXPECT_EQ(session.Exchange(CTAPHID_CBOR, getInfo, sizeof getInfo, reply), APDU_LINK_FAILED);
  EXPECT_TRUE(session.linkLost());
  platform.readers[0].emptyAnswers = false;
  platform.readers[0].removed = true;
  EXPECT_EQ(session.Exchange(CTAPHID_CBOR, getInfo, sizeof getInfo, reply), APDU_LINK_FAILED);
  EXPECT_TRUE(session.linkLost());
}

TEST(CardSessionTest, ReaderNamesPickExactlyOrByAPrefixOnlyOneHas) {
  const std::vector<CardReader> readers = {
      {"Quill A 00", false, {}}, {"Quill A 00 01", false, {}}, {"Other", false, {}}};
  struct Case {
    const char* name;
    size_t count;
  };
  for (const Case& c : {Case{"Quill A 00", 1}, Case{"Quill", 2}, Case{"Oth", 1}, Case{"X", 0}}) {
    EXPECT_EQ(CardReadersNamed(readers, c.name).size(), c.count) << c.name;
  }
  DeviceName name;
  std::string error;
  EXPECT_FALSE(ParseDeviceName("pcsc:", name, error));
  ASSERT_TRUE(ParseDeviceName("pcsc:Quill A", name, error));
  EXPECT_EQ(name.kind, DeviceName::Kind::kPcsc);
  EXPECT_EQ(name.host, "Quill A");
}

class NoHid : public HidPlatform {
 public:
  bool Enumerate(std::vector<HidInterface>& out) override {
    out.clear();
    return true;
  }
  KeyHandle Open(const std::string&, HidAccess, int*) override { return KEY_INVALID_HANDLE; }
  void Close(KeyHandle) override {}
  bool GetReportLengths(KeyHandle, uint16_t*, uint16_t*) override { return false; }
  int Write(KeyHandle, const uint8_t*, size_t) override { return -1; }
  int Read(KeyHandle, uint8_t*, size_t, int) override { return -1; }
};

TEST(CardSessionTest, TheTransportKeepsFidoCardsAndSendsCtapToThem) {
  NoHid hid;
  SimCardPlatform platform;
  platform.Add("Plain", Options(false, false), false);
  platform.Add("Key", Options(false, false));
  KeyDevice& key = KeyDevice::Instance();
  key.SetPlatform(&hid);
  key.SetCardPlatform(&platform);
  KeyLayerReady = true;
  KeyEnumerate();
  ASSERT_EQ(key.devices.size(), 1u);
  ASSERT_EQ(KeySelect(0, 0), 1);
  EXPECT_EQ(key.selected.path, "pcsc:Key");
  ASSERT_NE(key.selectedCard(), nullptr);
  uint8_t reply[KEY_REPLY_BUFFER_SIZE];
  uint32_t length = sizeof reply;
  const uint8_t getInfo[] = {0x04};
  EXPECT_EQ(KeySendCbor(getInfo, sizeof getInfo, reply, &length), 0);
  platform.readers[1].removed = true;
  length = sizeof reply;
  EXPECT_EQ(KeySendCbor(getInfo, sizeof getInfo, reply, &length), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_TRUE(KeyLastExchangeLinkLost());
  key.SetCardPlatform(nullptr);
  key.SetPlatform(nullptr);
}

}  // namespace
