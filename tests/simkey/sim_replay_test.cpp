// Replaying a key's answers: answers in turn, whole-request CTAP rules, and
// the silent and broken answers, through the real transport.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "simkey/sim_answers.h"
#include "simkey/sim_profile.h"
#include "tests/transport/sim_transport_fixture.h"
#include "transport/ctaphid.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kSelectA = {0x00, 0xA4, 0x04, 0x00, 0x02, 0xAA, 0x01};
const Bytes kSelectB = {0x00, 0xA4, 0x04, 0x00, 0x02, 0xBB, 0x02};
const Bytes kVersion = {0x80, 0xE2, 0x80, 0x00, 0x05, 0xDF, 0xFF, 0x02, 0x80, 0x01, 0x00};

SimAnswer Reply(Bytes bytes) { return {SimAnswer::Kind::kReply, std::move(bytes)}; }
const SimAnswer kSilent{SimAnswer::Kind::kSilent, {}};
const SimAnswer kBroken{SimAnswer::Kind::kBroken, {}};

class SimReplayTest : public SimTransportTest {
 protected:
  // The status word, with the data in `data`.
  static uint16_t Apdu(const Bytes& request, Bytes* data = nullptr) {
    Bytes buffer(4096);
    uint32_t length = static_cast<uint32_t>(buffer.size());
    const uint16_t status = KeySendApdu(request.data(), static_cast<int>(request.size()),
                                        buffer.data(), &length, CTAPHID_MSG);
    if (data != nullptr) data->assign(buffer.begin(), buffer.begin() + length);
    return status;
  }

  // The CTAP status byte, with the CBOR after it in `data`.
  static uint16_t Cbor(const Bytes& request, Bytes* data = nullptr) {
    Bytes buffer(4096);
    uint32_t length = static_cast<uint32_t>(buffer.size());
    const uint16_t status =
        KeySendCbor(request.data(), static_cast<int>(request.size()), buffer.data(), &length);
    if (data != nullptr) data->assign(buffer.begin(), buffer.begin() + length);
    return status;
  }
};

TEST_F(SimReplayTest, AnswersComeInTurnAndStartAgainWithEveryChannel) {
  SimDeviceConfig config;
  config.builtin = false;
  config.apdu.push_back({kSelectA, false, Bytes{0x90, 0x00}});
  config.apdu.push_back({kSelectB, false, Bytes{0x90, 0x00}});
  config.apdu.push_back(
      {kVersion, false,
       std::vector<SimAnswer>{Reply({0x01, 0x90, 0x00}), Reply({0x02, 0x90, 0x00})}});
  SimDevice& device = platform.AddDevice(config);

  for (int refresh = 0; refresh < 2; ++refresh) {
    SCOPED_TRACE(refresh);
    SelectFirst();  // a new channel allocation, as every refresh makes
    Bytes data;
    EXPECT_EQ(Apdu(kSelectA), 0x9000);
    EXPECT_EQ(Apdu(kVersion, &data), 0x9000);
    EXPECT_EQ(data, Bytes{0x01});
    EXPECT_EQ(Apdu(kSelectB), 0x9000);
    EXPECT_EQ(Apdu(kVersion, &data), 0x9000);
    EXPECT_EQ(data, Bytes{0x02});
    EXPECT_EQ(Apdu(kVersion, &data), 0x9000);
    EXPECT_EQ(data, Bytes{0x02}) << "the last answer repeats";
  }
  EXPECT_EQ(device.initCount, 2u);
}

TEST_F(SimReplayTest, SilentTimesOutInSimulatedTimeAndBrokenFailsAtOnce) {
  struct Case {
    const char* name;
    bool cbor;
    SimAnswer answer;
    bool timedOut;
  };
  const Case cases[] = {
      {"apdu silent", false, kSilent, true},
      {"apdu broken", false, kBroken, false},
      {"cbor silent", true, kSilent, true},
      {"cbor broken", true, kBroken, false},
  };
  const Bytes getInfo = {0x04};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimDeviceConfig config;
    config.builtin = false;
    const std::vector<SimAnswer> answers = {c.answer, Reply({0x00, 0xA0, 0x90, 0x00})};
    if (c.cbor) {
      config.cborRules.push_back({getInfo, false, answers});
    } else {
      config.apdu.push_back({kSelectA, false, answers});
    }
    SimDevice& device = platform.AddDevice(config);
    SelectFirst();
    const Bytes& request = c.cbor ? getInfo : kSelectA;
    auto send = [&](Bytes* data) { return c.cbor ? Cbor(request, data) : Apdu(request, data); };

    const size_t delivered = device.reportsDelivered;
    const uint64_t before = platform.clock().NowMs();
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(send(nullptr), KEY_STATUS_TRANSPORT_ERROR);
    EXPECT_EQ(KeyLastExchangeTimedOut(), c.timedOut);
    const uint64_t spent = platform.clock().NowMs() - before;
    if (c.timedOut) {
      EXPECT_GE(spent, static_cast<uint64_t>(KEY_READ_TIMEOUT_MS));
    } else {
      EXPECT_LT(spent, static_cast<uint64_t>(KEY_READ_TIMEOUT_MS));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
    // After the INIT reply, silent sends not even an empty reply; broken
    // sends two packets.
    EXPECT_EQ(device.reportsDelivered - delivered, 1u + (c.timedOut ? 0u : 2u));

    // The key answers the next request as usual.
    Bytes data;
    EXPECT_EQ(send(&data), c.cbor ? 0x00 : 0x9000);
    EXPECT_FALSE(KeyLastExchangeTimedOut());
    platform.RemoveDevice(device.config().path);
  }
}

TEST(SimCborRulesTest, TheLongestMatchingKeyWins) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(R"({"devices": [ {"builtin": false, "cbor": {
      "06": "0001",
      "06A20101*": "0004",
      "06A201010201": "0002",
      "06A201010207": "0003",
      "06A201010201*": "0005",
      "01*": "0006"
    } } ]})",
                             devices, error))
      << error;
  SimDeviceConfig& config = devices.at(0);
  config.cbor[0x06] = {0x00, 0x99};  // loses to the profile's bare "06"
  config.cbor[0x04] = {0x00, 0x07};
  config.cbor[0x01] = {0x00, 0x08};  // a whole request "01" beats the prefix "01*"

  struct Case {
    Bytes request;
    Bytes reply;
  };
  const Case cases[] = {
      {{0x06, 0xA2, 0x01, 0x01, 0x02, 0x01}, {0x00, 0x02}},        // whole over prefix
      {{0x06, 0xA2, 0x01, 0x01, 0x02, 0x07}, {0x00, 0x03}},        // the other question
      {{0x06, 0xA2, 0x01, 0x01, 0x02, 0x01, 0xFF}, {0x00, 0x05}},  // longer prefix
      {{0x06, 0xA2, 0x01, 0x01, 0x02, 0x05}, {0x00, 0x04}},        // shorter prefix
      {{0x06, 0xA3}, {0x00, 0x01}},                                // bare byte
      {{0x06}, {0x00, 0x01}},
      {{0x04}, {0x00, 0x07}},
      {{0x01}, {0x00, 0x08}},
      {{0x01, 0xA0}, {0x00, 0x06}},
      {{0x08}, {0x01}},  // no rule, no built-in answers
  };
  SimClock clock;
  SimAnswers answers(clock);
  for (const Case& c : cases) {
    const SimAnswer answer = answers.AnswerCbor(config, c.request);
    EXPECT_EQ(answer.kind, SimAnswer::Kind::kReply);
    EXPECT_EQ(answer.reply, c.reply) << ::testing::PrintToString(c.request);
  }
}

}  // namespace
