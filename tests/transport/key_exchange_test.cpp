// The exchange and its two wrappers, end to end against the simulated key.
#include <gtest/gtest.h>

#include <vector>

#include "tests/transport/sim_transport_fixture.h"
#include "transport/ctaphid.h"

namespace {

std::vector<uint8_t> Bytes(size_t length, uint8_t first = 1) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<uint8_t> kSw9000 = {0x90, 0x00};
const std::vector<uint8_t> kApdu = {0x00, 0xA4, 0x04, 0x00, 0x02, 0xAA, 0xBB, 0x00};

class KeyExchangeTest : public SimTransportTest {
 protected:
  // One device that answers kApdu with `reply` and CTAP command 0x04 with
  // `cborReply`.
  SimDevice& AddKey(const std::vector<uint8_t>& reply,
                    const std::vector<uint8_t>& cborReply = {0x00, 0xA0}) {
    SimDeviceConfig config = Device(0x096E, 0x0858);
    config.builtin = false;
    config.apdu.push_back({kApdu, false, reply});
    config.cbor[0x04] = cborReply;
    SimDevice& device = platform.AddDevice(config);
    return device;
  }

  uint16_t SendApdu(std::vector<uint8_t>* data, uint32_t capacity = 4096) {
    data->assign(capacity, 0);
    uint32_t length = capacity;
    const uint16_t status = KeySendApdu(kApdu.data(), static_cast<int>(kApdu.size()), data->data(),
                                        &length, CTAPHID_MSG);
    if (status != KEY_STATUS_TRANSPORT_ERROR) data->resize(length);
    return status;
  }

  uint16_t SendGetInfo(std::vector<uint8_t>* data, uint32_t capacity = 5000) {
    data->assign(capacity, 0);
    uint32_t length = capacity;
    const uint8_t request[] = {0x04};
    const uint16_t status = KeySendCbor(request, 1, data->data(), &length);
    data->resize(length);
    return status;
  }
};

TEST_F(KeyExchangeTest, ApduRoundTripAllocatesAChannelOnce) {
  SimDevice& device = AddKey(Join(Bytes(10), kSw9000));
  SelectFirst();
  std::vector<uint8_t> data;
  EXPECT_EQ(SendApdu(&data), 0x9000);
  EXPECT_EQ(data, Bytes(10));
  EXPECT_EQ(device.initCount, 1u);
  ASSERT_EQ(device.writtenReports.size(), 2u);
  EXPECT_EQ(device.writtenReports[0][5], CTAPHID_INIT);
  EXPECT_EQ(device.writtenReports[1][5], CTAPHID_MSG);

  EXPECT_EQ(SendApdu(&data), 0x9000);
  EXPECT_EQ(device.initCount, 1u);
  EXPECT_EQ(device.writtenReports.size(), 3u);
  ASSERT_EQ(device.receivedMessages.size(), 3u);
  EXPECT_EQ(device.receivedMessages[2].payload, kApdu);
}

TEST_F(KeyExchangeTest, LongRequestsAreSentInContinuationPackets) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.builtin = false;
  const std::vector<uint8_t> request = Join({0x80, 0x10, 0x00, 0x00}, Bytes(196));
  config.apdu.push_back({request, false, kSw9000});
  SimDevice& device = platform.AddDevice(config);
  SelectFirst();
  uint32_t length = 0;
  EXPECT_EQ(KeySendApdu(request.data(), 200, nullptr, &length, CTAPHID_MSG), 0x9000);
  EXPECT_EQ(length, 0u);
  // INIT, then one initialisation packet and continuation packets 0, 1, 2.
  ASSERT_EQ(device.writtenReports.size(), 5u);
  EXPECT_EQ(device.writtenReports[1][5], CTAPHID_MSG);
  EXPECT_EQ(device.writtenReports[1][6], 0);
  EXPECT_EQ(device.writtenReports[1][7], 200);
  for (uint8_t sequence = 0; sequence < 3; ++sequence) {
    EXPECT_EQ(device.writtenReports[2 + sequence][5], sequence);
  }
  for (const auto& report : device.writtenReports) EXPECT_EQ(report.size(), 65u);
  EXPECT_EQ(device.receivedMessages.back().payload, request);
}

TEST_F(KeyExchangeTest, RepliesOfEveryLengthArriveWhole) {
  for (size_t dataLength : {0u, 1u, 55u, 56u, 58u, 200u, 1000u, 4094u}) {
    SCOPED_TRACE(dataLength);
    platform.AddDevice(Device(0x2CCF, 0x0001));  // keeps paths distinct
    SimDevice& device = AddKey(Join(Bytes(dataLength, 7), kSw9000));
    KeyEnumerate();
    ASSERT_EQ(KeySelect(0x096E, 0x0858), 1) << "one key with these ids";
    std::vector<uint8_t> data;
    EXPECT_EQ(SendApdu(&data), 0x9000);
    EXPECT_EQ(data, Bytes(dataLength, 7));
    EXPECT_EQ(device.reportsDelivered, 1 + CtaphidPacketCount(dataLength + 2));
    platform.RemoveDevice(device.config().path);
  }
}

TEST_F(KeyExchangeTest, ApduReplyBufferRules) {
  AddKey(Join(Bytes(20), {0x6A, 0x82}));
  SelectFirst();
  uint32_t length = 4096;
  // No reply room asked for: the status word alone.
  EXPECT_EQ(KeySendApdu(kApdu.data(), 8, nullptr, nullptr, CTAPHID_MSG), 0x6A82);
  // No buffer: the data length without copying.
  EXPECT_EQ(KeySendApdu(kApdu.data(), 8, nullptr, &length, CTAPHID_MSG), 0x6A82);
  EXPECT_EQ(length, 20u);
  // One byte too little room.
  std::vector<uint8_t> data(19, 0xEE);
  length = 19;
  EXPECT_EQ(KeySendApdu(kApdu.data(), 8, data.data(), &length, CTAPHID_MSG),
            KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(data, std::vector<uint8_t>(19, 0xEE)) << "nothing copied";
  data.assign(20, 0);
  length = 20;
  EXPECT_EQ(KeySendApdu(kApdu.data(), 8, data.data(), &length, CTAPHID_MSG), 0x6A82);
  EXPECT_EQ(data, Bytes(20));
}

TEST_F(KeyExchangeTest, CborReplyBufferRules) {
  const std::vector<uint8_t> answer = Join({0x00}, Bytes(300));
  AddKey(kSw9000, answer);
  SelectFirst();
  std::vector<uint8_t> data;
  EXPECT_EQ(SendGetInfo(&data), 0x00);
  EXPECT_EQ(data, Bytes(300));

  const uint8_t request[] = {0x04};
  uint32_t length = 0;
  EXPECT_EQ(KeySendCbor(request, 1, data.data(), &length), KEY_STATUS_NO_BUFFER);
  EXPECT_EQ(KeySendCbor(request, 1, data.data(), nullptr), KEY_STATUS_NO_BUFFER);
  // Too little room: a failure, not a success without the data.
  length = 299;
  EXPECT_EQ(KeySendCbor(request, 1, data.data(), &length), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_EQ(length, 299u);
}

TEST_F(KeyExchangeTest, CborStatusAloneLeavesTheLengthAsItWas) {
  AddKey(kSw9000, {0x2E});
  SelectFirst();
  std::vector<uint8_t> data(5000);
  uint32_t length = 5000;
  const uint8_t request[] = {0x04};
  EXPECT_EQ(KeySendCbor(request, 1, data.data(), &length), 0x2E);
  EXPECT_EQ(length, 5000u);
}

TEST_F(KeyExchangeTest, WaitsThroughKeepAlivesWhileTheKeyWaitsForATouch) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.builtin = false;
  config.cbor[0x01] = {0x00, 0xA1, 0x01, 0x02};
  config.touchDelayMs = 12000;  // longer than one read time-out
  config.touchCommands = {0x01};
  platform.AddDevice(config);
  SelectFirst();
  int hookCalls = 0;
  KeyDevice::Instance().SetWaitHook([&] { ++hookCalls; });
  const uint64_t start = platform.clock().NowMs();
  std::vector<uint8_t> data(100);
  uint32_t length = 100;
  const uint8_t request[] = {0x01, 0xA0};
  EXPECT_EQ(KeySendCbor(request, 2, data.data(), &length), 0x00);
  EXPECT_EQ(length, 3u);
  EXPECT_GE(platform.clock().NowMs() - start, 12000u);
  EXPECT_GE(hookCalls, 100);
}

// Each misbehaviour ends in a defined result, never in a hang.
struct MisbehaviourCase {
  const char* name;
  void (*configure)(SimDeviceConfig&);
  uint16_t apduResult;
};

class MisbehaviourTest : public KeyExchangeTest,
                         public ::testing::WithParamInterface<MisbehaviourCase> {};

TEST_P(MisbehaviourTest, EndsInItsDefinedResult) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.builtin = false;
  config.apdu.push_back({kApdu, false, Join(Bytes(100), kSw9000)});
  GetParam().configure(config);
  platform.AddDevice(config);
  KeyEnumerate();
  ASSERT_EQ(KeySelect(0, 0), 1);
  std::vector<uint8_t> data;
  const uint16_t result = SendApdu(&data);
  EXPECT_EQ(result, GetParam().apduResult);
  if (result == 0x9000) {
    EXPECT_EQ(data, Bytes(100));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MisbehaviourTest,
    ::testing::Values(
        MisbehaviourCase{"well_behaved", [](SimDeviceConfig&) {}, 0x9000},
        MisbehaviourCase{"keep_alives_for_ever",
                         [](SimDeviceConfig& c) { c.misbehave.keepAliveForever = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"announces_more_than_it_sends",
                         [](SimDeviceConfig& c) { c.misbehave.truncatedReply = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"reports_announcing_length_zero",
                         [](SimDeviceConfig& c) { c.misbehave.zeroLengthReports = 5; }, 0x9000},
        MisbehaviourCase{"reply_longer_than_4096",
                         [](SimDeviceConfig& c) { c.misbehave.oversizeReply = 5000; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"silence", [](SimDeviceConfig& c) { c.misbehave.silent = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"reply_on_another_channel",
                         [](SimDeviceConfig& c) { c.misbehave.otherChannelReply = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"foreign_replies_first",
                         [](SimDeviceConfig& c) { c.misbehave.foreignReportsFirst = 3; }, 0x9000},
        MisbehaviourCase{"init_reply_with_a_wrong_nonce_first",
                         [](SimDeviceConfig& c) { c.misbehave.initWrongNonceFirst = true; },
                         0x9000},
        MisbehaviourCase{"ctaphid_error_reply",
                         [](SimDeviceConfig& c) { c.misbehave.ctaphidError = 0x06; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"continuation_out_of_sequence",
                         [](SimDeviceConfig& c) { c.misbehave.badSequence = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"failing_writes",
                         [](SimDeviceConfig& c) { c.misbehave.writeFails = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"failing_reads", [](SimDeviceConfig& c) { c.misbehave.readFails = true; },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"reports_longer_than_the_report_buffer",
                         [](SimDeviceConfig& c) {
                           c.inputReportLength = 129;
                           c.outputReportLength = 129;
                         },
                         KEY_STATUS_TRANSPORT_ERROR},
        MisbehaviourCase{"reports_too_short_for_a_packet",
                         [](SimDeviceConfig& c) { c.inputReportLength = 33; },
                         KEY_STATUS_TRANSPORT_ERROR}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyExchangeTest, KeepAlivesForEverGiveUpAfterTheLimit) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.misbehave.keepAliveForever = true;
  platform.AddDevice(config);
  SelectFirst();
  const uint64_t start = platform.clock().NowMs();
  std::vector<uint8_t> data;
  EXPECT_EQ(SendApdu(&data), KEY_STATUS_TRANSPORT_ERROR);
  const uint64_t waited = platform.clock().NowMs() - start;
  EXPECT_GE(waited, KEY_KEEPALIVE_LIMIT_MS);
  EXPECT_LE(waited, KEY_KEEPALIVE_LIMIT_MS + 1000);
}

TEST_F(KeyExchangeTest, SilenceFailsAfterTheReadTimeOut) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.misbehave.silent = true;
  platform.AddDevice(config);
  SelectFirst();
  const uint64_t start = platform.clock().NowMs();
  std::vector<uint8_t> data;
  EXPECT_EQ(SendApdu(&data), KEY_STATUS_TRANSPORT_ERROR);
  // The INIT reply is answered; only the request meets silence.
  EXPECT_EQ(platform.clock().NowMs() - start, static_cast<uint64_t>(KEY_READ_TIMEOUT_MS));
}

TEST_F(KeyExchangeTest, CtaphidErrorReachesCborCallersAsItsCode) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.misbehave.ctaphidError = 0x06;
  platform.AddDevice(config);
  SelectFirst();
  std::vector<uint8_t> data;
  EXPECT_EQ(SendGetInfo(&data), 0x06);
}

TEST_F(KeyExchangeTest, FailedChannelAllocationIsTriedAgainNextTime) {
  SimDevice& device = AddKey(Join(Bytes(4), kSw9000));
  device.config.misbehave.silent = true;  // the INIT reply too
  device.config.misbehave.silentInit = true;
  SelectFirst();
  std::vector<uint8_t> data;
  EXPECT_EQ(SendApdu(&data), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_TRUE(KeyDevice::Instance().needInit);
  device.config.misbehave.silent = false;
  device.config.misbehave.silentInit = false;
  EXPECT_EQ(SendApdu(&data), 0x9000);
  EXPECT_FALSE(KeyDevice::Instance().needInit);
}

TEST_F(KeyExchangeTest, NoSelectedKeyFails) {
  AddKey(kSw9000);
  KeyEnumerate();  // nothing selected
  std::vector<uint8_t> data;
  EXPECT_EQ(SendApdu(&data), KEY_STATUS_TRANSPORT_ERROR);
}

}  // namespace
