// The simulated key at the CTAPHID level, driven by raw platform calls.
#include <gtest/gtest.h>

#include "simkey/sim_platform.h"
#include "tests/simkey/sim_host.h"

namespace {

class SimCtaphidTest : public ::testing::Test {
 protected:
  SimDevice& Add(SimDeviceConfig config = {}) { return platform.AddDevice(std::move(config)); }
  SimKeyPlatform platform;
};

TEST_F(SimCtaphidTest, InitEchoesTheNonceAndHandsOutFreshChannels) {
  SimDevice& device = Add();
  SimHost host(platform);
  for (uint32_t n = 0; n < 3; ++n) {
    const Bytes nonce = Counting(8, static_cast<uint8_t>(0x10 * n));
    host.Send(kBroadcast, 0x86, nonce);
    const HostReply reply = host.Receive(kBroadcast);
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.command, 0x86);
    ASSERT_EQ(reply.payload.size(), 17u);
    EXPECT_EQ(Bytes(reply.payload.begin(), reply.payload.begin() + 8), nonce);
    Bytes channel(65, 0);
    PutChannel(SIMKEY_FIRST_CHANNEL + n, channel);
    EXPECT_EQ(Bytes(reply.payload.begin() + 8, reply.payload.begin() + 12),
              Bytes(channel.begin() + 1, channel.begin() + 5));
    EXPECT_EQ(reply.payload[12], 2) << "protocol version";
    EXPECT_EQ(reply.payload[16], 0x05) << "CBOR and WINK, MSG supported";
  }
  EXPECT_EQ(device.initCount, 3u);
}

TEST_F(SimCtaphidTest, InitOnAnAllocatedChannelResynchronisesIt) {
  Add();
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  const HostReply reply = host.Exchange(channel, 0x86, Counting(8));
  ASSERT_TRUE(reply.complete);
  ASSERT_EQ(reply.payload.size(), 17u);
  EXPECT_EQ(reply.payload[11], static_cast<uint8_t>(channel)) << "the same channel";
  EXPECT_TRUE(host.Exchange(channel, 0x81, {1}).complete);
}

TEST_F(SimCtaphidTest, MessagesOfEveryLengthTravelBothWays) {
  SimDevice& device = Add();
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  for (size_t length : {0u, 1u, 57u, 58u, 116u, 117u, 200u, 4096u, 7609u}) {
    SCOPED_TRACE(length);
    const size_t reportsBefore = device.reportsDelivered;
    const Bytes data = Counting(length, 3);
    const HostReply reply = host.Exchange(channel, 0x81, data);
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.payload, data);
    EXPECT_EQ(device.receivedMessages.back().payload, data);
    const size_t packets = length <= 57 ? 1 : 1 + (length - 57 + 58) / 59;
    EXPECT_EQ(device.reportsDelivered - reportsBefore, packets);
  }
}

TEST_F(SimCtaphidTest, ProtocolFaultsOfTheHostAnswerCtaphidErrors) {
  Add();
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  struct Case {
    const char* name;
    std::vector<Bytes> reports;
    uint32_t replyChannel;
    uint8_t error;
  };
  Bytes outOfSequence = SimHost::Frame(channel, 0x81, Counting(100), 100)[1];
  outOfSequence[5] = 1;
  const Case cases[] = {
      {"never allocated", SimHost::Frame(0x12345678, 0x81, {1}, 1), 0x12345678, 0x0B},
      {"not INIT on broadcast", SimHost::Frame(kBroadcast, 0x83, {1}, 1), kBroadcast, 0x0B},
      {"unknown command", SimHost::Frame(channel, 0xA5, {1}, 1), channel, 0x01},
      {"INIT nonce too short", SimHost::Frame(kBroadcast, 0x86, {1, 2}, 2), kBroadcast, 0x03},
      {"longer than 7609", SimHost::Frame(channel, 0x81, {}, 7610), channel, 0x03},
      {"empty CBOR", SimHost::Frame(channel, 0x90, {}, 0), channel, 0x03},
      {"continuation out of sequence",
       {SimHost::Frame(channel, 0x81, Counting(100), 100)[0], outOfSequence},
       channel,
       0x04},
      {"other channel while busy",
       {SimHost::Frame(channel, 0x81, Counting(100), 100)[0],
        SimHost::Frame(0x0C0FFEE5, 0x81, {1}, 1)[0]},
       0x0C0FFEE5,
       0x06},
      {"new message in the middle",
       {SimHost::Frame(channel, 0x81, Counting(100), 100)[0],
        SimHost::Frame(channel, 0x81, {1}, 1)[0]},
       channel,
       0x04},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Bytes& report : c.reports) ASSERT_EQ(host.WriteReport(report), 65);
    const HostReply reply = host.Receive(c.replyChannel);
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.command, 0xBF);
    EXPECT_EQ(reply.payload, Bytes{c.error});
    host.Drain();
    host.Send(channel, 0x86, Counting(8));  // resynchronise for the next case
    host.Drain();
  }
}

TEST_F(SimCtaphidTest, StrayContinuationPacketsAreIgnored) {
  Add();
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  Bytes stray = SimHost::Frame(channel, 0x81, Counting(100), 100)[1];
  ASSERT_EQ(host.WriteReport(stray), 65);
  EXPECT_TRUE(host.ReadReport().empty());
  EXPECT_EQ(host.Exchange(channel, 0x81, {9}).payload, Bytes{9});
}

TEST_F(SimCtaphidTest, ApduAndCborAnswersComeFromRulesThenBuiltIn) {
  SimDeviceConfig config;
  config.apdu.push_back({{0x00, 0xA4, 0x04, 0x00, 0x01}, true, {0x6A, 0x82}});
  config.apdu.push_back({{0x00, 0xA4, 0x04, 0x00, 0x01, 0xAA}, false, {0x01, 0x90, 0x00}});
  config.apdu.push_back({{0x00, 0xA4, 0x04, 0x00, 0x02, 0xAA, 0xBB}, false, {0x02, 0x90, 0x00}});
  config.cbor[0x06] = {0x00, 0xA0};
  Add(config);
  config.builtin = false;
  Add(config);

  struct Case {
    uint8_t command;
    Bytes request, builtinReply, plainReply;
  };
  const Case cases[] = {
      // First match wins: the prefix rule hides the exact rule after it.
      {0x83, {0x00, 0xA4, 0x04, 0x00, 0x01, 0xAA}, {0x6A, 0x82}, {0x6A, 0x82}},
      {0x83, {0x00, 0xA4, 0x04, 0x00, 0x02, 0xAA, 0xBB}, {0x02, 0x90, 0x00}, {0x02, 0x90, 0x00}},
      // A prefix rule does not match a shorter request.
      {0x83, {0x00, 0xA4, 0x04, 0x00}, {0x6D, 0x00}, {0x6D, 0x00}},
      {0x83, {0x80, 0x10, 0x00, 0x00}, {0x6D, 0x00}, {0x6D, 0x00}},
      {0x90, {0x06, 0xA1, 0x01, 0x01}, {0x00, 0xA0}, {0x00, 0xA0}},
      {0x90, {0x0B}, {0x01}, {0x01}},
  };
  for (size_t device = 0; device < 2; ++device) {
    SimHost host(platform, device);
    const uint32_t channel = host.Allocate();
    for (const Case& c : cases) {
      const HostReply reply = host.Exchange(channel, c.command, c.request);
      ASSERT_TRUE(reply.complete);
      EXPECT_EQ(reply.command, c.command);
      EXPECT_EQ(reply.payload, device == 0 ? c.builtinReply : c.plainReply) << device;
    }
    EXPECT_EQ(host.Exchange(channel, 0x90, {0x04}).payload.size() > 100, device == 0);
  }
}

TEST_F(SimCtaphidTest, SilenceCostsSimulatedTimeOnly) {
  Add();
  SimHost host(platform);
  EXPECT_TRUE(host.ReadReport(0).empty());
  EXPECT_EQ(platform.clock().NowMs(), 0u);
  EXPECT_TRUE(host.ReadReport(250).empty());
  EXPECT_EQ(platform.clock().NowMs(), 250u);
  platform.clock().SleepMs(50);
  EXPECT_EQ(platform.clock().NowMs(), 300u);
}

TEST_F(SimCtaphidTest, ReportsFollowTheConfiguredLengths) {
  SimDeviceConfig config;
  config.inputReportLength = 129;
  config.outputReportLength = 129;
  SimDevice& device = Add(config);
  SimHost host(platform);
  uint16_t input = 0, output = 0;
  ASSERT_TRUE(platform.GetReportLengths(host.readHandle(), &input, &output));
  EXPECT_EQ(input, 129);
  EXPECT_EQ(output, 129);

  Bytes report = SimHost::Frame(kBroadcast, 0x86, Counting(8), 8)[0];
  EXPECT_EQ(host.WriteReport(report), -1) << "a 65-byte report is not a whole output report";
  report.resize(129, 0);
  Bytes numbered = report;
  numbered[0] = 1;
  EXPECT_EQ(host.WriteReport(numbered), -1) << "only report 0 exists";
  EXPECT_EQ(host.WriteReport(report), 129);
  EXPECT_EQ(device.writtenReports.size(), 3u) << "every attempt is recorded";
  const Bytes reply = host.ReadReport();
  ASSERT_EQ(reply.size(), 129u);
  EXPECT_EQ(reply[5], 0x86);
}

}  // namespace
