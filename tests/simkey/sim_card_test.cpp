// simkey as a card: the test plays vpcd on a loopback port and speaks to the
// card through the transport's own APDU link.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>

#include "simkey/server/sim_server_options.h"
#include "simkey/server/sim_vpcd.h"
#include "simkey/sim_card.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_default_key.h"
#include "simkey/sim_hex.h"
#include "simkey/sim_profile.h"
#include "transport/apdu_link.h"
#include "transport/network_socket.h"

namespace {

constexpr int kWaitMs = 2000;

std::vector<uint8_t> Hex(const char* text) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(SimParseHex(text, bytes)) << text;
  return bytes;
}

// The reader's side of vpcd: a listening socket, the card's connection and
// framed messages over it.
class FakeVpcd {
 public:
  explicit FakeVpcd(SimDeviceConfig config) {
    listener_ = OpenSocket(AF_INET, SOCK_STREAM);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    EXPECT_EQ(bind(listener_.get(), raw, length), 0);
    EXPECT_EQ(listen(listener_.get(), 1), 0);
    getsockname(listener_.get(), raw, &length);
    SimServerEndpoint endpoint;
    endpoint.enabled = true;
    endpoint.port = ntohs(address.sin_port);
    card_ = std::make_unique<SimVpcd>(std::move(config), endpoint);
    thread_ = std::thread([this] {
      std::string ignored;
      card_->Run(stop_, ignored);
    });
    const NetworkClock::time_point deadline = Deadline();
    if (WaitFor(listener_.get(), POLLIN, &deadline) > 0) {
      link_ = SocketFd(accept(listener_.get(), nullptr, nullptr));
    }
    EXPECT_TRUE(link_.valid()) << "the card did not connect";
  }
  ~FakeVpcd() {
    stop_ = 1;
    thread_.join();
  }

  // One message; false when the card sent nothing back in time.
  bool Ask(const std::vector<uint8_t>& message, std::vector<uint8_t>& answer) {
    std::vector<uint8_t> frame = {static_cast<uint8_t>(message.size() >> 8),
                                  static_cast<uint8_t>(message.size())};
    frame.insert(frame.end(), message.begin(), message.end());
    if (send(link_.get(), frame.data(), frame.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(frame.size())) {
      return false;
    }
    uint8_t header[2];
    if (!Read(header, 2)) return false;
    answer.resize((header[0] << 8) | header[1]);
    return Read(answer.data(), answer.size());
  }
  void Control(uint8_t code) {
    const uint8_t frame[3] = {0, 1, code};
    send(link_.get(), frame, sizeof frame, MSG_NOSIGNAL);
  }

 private:
  static NetworkClock::time_point Deadline() {
    return NetworkClock::now() + std::chrono::milliseconds(kWaitMs);
  }
  bool Read(uint8_t* into, size_t length) {
    const NetworkClock::time_point deadline = Deadline();
    for (size_t done = 0; done < length;) {
      if (WaitFor(link_.get(), POLLIN, &deadline) <= 0) return false;
      const ssize_t got = recv(link_.get(), into + done, length - done, 0);
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }

  SocketFd listener_;
  SocketFd link_;
  std::unique_ptr<SimVpcd> card_;
  volatile int stop_ = 0;
  std::thread thread_;
};

struct CardCase {
  const char* name;
  SimCardOptions card;
  ApduForm form;
  const char* selected;  // the SELECT answer's text
  int getInfo;           // the link's result for GetInfo
  uint16_t getInfoSw;
};

class SimCardTest : public ::testing::TestWithParam<CardCase> {};

TEST_P(SimCardTest, AnswersAsAFidoCard) {
  const CardCase& c = GetParam();
  SimDeviceConfig config;
  config.card = c.card;
  const std::vector<uint8_t> longRequest(400, 0x0A);
  config.cborRules.push_back({longRequest, false, {{SimAnswer::Kind::kReply, {0x00, 0xA1}}}});
  FakeVpcd vpcd(config);

  vpcd.Control(SIM_CARD_POWER_ON);
  std::vector<uint8_t> answer;
  ASSERT_TRUE(vpcd.Ask({SIM_CARD_ATR_REQUEST}, answer));
  const std::vector<uint8_t> atr =
      c.card.atr.empty()
          ? std::vector<uint8_t>(std::begin(SIMKEY_CARD_ATR), std::end(SIMKEY_CARD_ATR))
          : c.card.atr;
  EXPECT_EQ(answer, atr);

  std::vector<std::string> sent;
  SimClock clock;
  ApduLinkOptions options;
  options.form = c.form;
  ApduLink link(
      [&](const std::vector<uint8_t>& command, std::vector<uint8_t>& response) {
        sent.push_back(SimHexText(command));
        return vpcd.Ask(command, response) ? 0 : -1;
      },
      clock, options);
  size_t keepAlives = 0;
  link.SetKeepAliveHook([&](uint8_t) { ++keepAlives; });

  // NFCCTAP before the applet is selected is not known.
  const uint8_t getInfo[] = {0x04};
  std::vector<uint8_t> reply;
  uint16_t sw = 0;
  EXPECT_EQ(link.TransmitCtap(getInfo, 1, reply, &sw), APDU_REFUSED);
  EXPECT_EQ(sw, 0x6D00);

  const ApduCommand select{0x00, 0xA4, 0x04, 0x00, FIDO_AID, sizeof FIDO_AID, 256};
  ASSERT_EQ(link.Transmit(select, reply, &sw), APDU_OK);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), c.selected);
  EXPECT_EQ(sw, 0x9000);

  sent.clear();
  sw = 0;
  ASSERT_EQ(link.TransmitCtap(getInfo, 1, reply, &sw), c.getInfo);
  EXPECT_EQ(sw, c.getInfoSw);
  if (c.getInfo == APDU_OK) {
    EXPECT_EQ(reply, SimCtapAnswer(0, SimDefaultGetInfo(false)));
    EXPECT_EQ(keepAlives, c.card.keepAlives);
    // The answer is longer than a short APDU takes: pieces over GET RESPONSE.
    const bool pieces = std::any_of(sent.begin(), sent.end(),
                                    [](const std::string& s) { return s.rfind("00C0", 0) == 0; });
    EXPECT_EQ(pieces, c.form == ApduForm::kShort);

    // A command longer than a short APDU arrives whole (chained or extended).
    ASSERT_EQ(link.Exchange(CTAPHID_CBOR, longRequest.data(), longRequest.size(), reply), APDU_OK);
    EXPECT_EQ(SimHexText(reply), "00A1");
  }

  const uint8_t version[] = {0x00, 0x03, 0x00, 0x00, 0x00};
  ASSERT_EQ(link.Exchange(CTAPHID_MSG, version, sizeof version, reply), APDU_OK);
  EXPECT_EQ(SimHexText(reply), "5532465F56329000");

  // Power off deselects the applet.
  vpcd.Control(SIM_CARD_POWER_OFF);
  EXPECT_EQ(link.TransmitCtap(getInfo, 1, reply, &sw), APDU_REFUSED);
  EXPECT_EQ(sw, 0x6D00);
}

SimCardOptions Options(bool shortOnly, uint32_t keepAlives, bool u2fOnly) {
  SimCardOptions options;
  options.shortApdusOnly = shortOnly;
  options.keepAlives = keepAlives;
  options.u2fOnly = u2fOnly;
  return options;
}

SimCardOptions OtherAtr() {
  SimCardOptions options;
  options.atr = {0x3B, 0x80, 0x80, 0x01, 0x01};
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Cards, SimCardTest,
    ::testing::Values(CardCase{"Extended", {}, ApduForm::kExtended, "FIDO_2_0", APDU_OK, 0x9000},
                      CardCase{"Short", OtherAtr(), ApduForm::kShort, "FIDO_2_0", APDU_OK, 0x9000},
                      CardCase{"KeepAlives", Options(false, 3, false), ApduForm::kShort, "FIDO_2_0",
                               APDU_OK, 0x9000},
                      CardCase{"ShortOnlyChains", Options(true, 2, false), ApduForm::kShort,
                               "FIDO_2_0", APDU_OK, 0x9000},
                      CardCase{"U2fOnly", Options(false, 0, true), ApduForm::kShort, "U2F_V2",
                               APDU_REFUSED, 0x6D00}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimCardTest, TouchWaitsBehindKeepAlivesInSimulatedTime) {
  SimDeviceConfig config;
  config.touchDelayMs = 300;
  config.touchCommands = {0x04};
  SimClock clock;
  SimCard card(config, clock);
  std::vector<uint8_t> answer = card.Transmit(Hex("00A4040008A0000006472F0001"));
  ASSERT_EQ(SimHexText(answer), "4649444F5F325F309000");
  // Without P1 80 the answer comes whole after the touch.
  answer = card.Transmit(Hex("80100000010400"));
  EXPECT_EQ(clock.NowMs(), 300u);
  EXPECT_EQ(answer.size(), 258u);  // 256 data bytes, then 61XX
  EXPECT_EQ(answer[256], 0x61);
  std::vector<std::string> statuses;
  for (answer = card.Transmit(Hex("80108000010400")); answer.size() == 3 && answer[1] == 0x91;
       answer = card.Transmit(Hex("8011000000"))) {
    statuses.push_back(SimHexText(answer));
    ASSERT_LT(statuses.size(), 10u);
  }
  EXPECT_EQ(statuses, std::vector<std::string>(3, "029100"));
  EXPECT_EQ(SimHexText(card.Transmit(Hex("8011000000"))), "6985");

  config.card.shortApdusOnly = true;
  SimCard shortOnly(config, clock);
  EXPECT_EQ(SimHexText(shortOnly.Transmit(Hex("00A40400000008A0000006472F00010000"))), "6700");
}

TEST(SimCardTest, ProfileCardObject) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(R"({"devices": [{"card": {"atr": "3B 80 80 01 01",
      "shortApdusOnly": true, "keepAlives": 2, "u2fOnly": true}}]})",
                             devices, error))
      << error;
  SimCardOptions expected = Options(true, 2, true);
  expected.atr = OtherAtr().atr;
  EXPECT_EQ(devices[0].card, expected);
  for (const char* bad : {R"({"atr": "3B"})", R"({"atr": "zz"})", R"({"keepAlives": 1001})",
                          R"({"keepAlives": -1})", R"({"u2fOnly": 1})", R"({"reader": 1})", "[]"}) {
    const std::string json = std::string(R"({"devices": [{"card": )") + bad + "}]}";
    EXPECT_FALSE(LoadSimProfile(json, devices, error)) << bad;
    EXPECT_NE(error.find("card"), std::string::npos) << error;
  }
  const SimServerOptions options = ParseSimServerOptions({"p.json", "--vpcd", "localhost:35999"});
  EXPECT_EQ(options.error, "");
  EXPECT_TRUE(options.vpcd.enabled && !options.udp.enabled && !options.tcp.enabled);
  EXPECT_EQ(options.vpcd.host, "localhost");
  EXPECT_NE(ParseSimServerOptions({"--vpcd", "35999", "--tcp", "1"}).error, "");
}

}  // namespace
