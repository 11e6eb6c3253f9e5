// Touches, faults, raw replies and unplugging of the simulated key.
#include <gtest/gtest.h>

#include <cerrno>

#include "simkey/sim_platform.h"
#include "tests/simkey/sim_host.h"

namespace {

const Bytes kApdu = {0x00, 0xA4, 0x04, 0x00, 0x02, 0xAA, 0xBB, 0x00};

Bytes Reply102() {
  Bytes reply = Counting(100);
  reply.push_back(0x90);
  reply.push_back(0x00);
  return reply;
}

SimDeviceConfig PlainKey() {
  SimDeviceConfig config;
  config.builtin = false;
  config.apdu.push_back({kApdu, false, Reply102()});
  config.cbor[0x01] = {0x00, 0xA0};
  return config;
}

size_t AnnouncedLength(const Bytes& report) { return size_t{report[6]} << 8 | report[7]; }

struct FaultCase {
  const char* name;
  void (*configure)(SimMisbehaviour&);
  // Checks every report the key sent after the request on `channel`.
  void (*check)(const std::vector<Bytes>& reports, uint32_t channel);
};

class SimFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimFaultTest, ShapesEveryReplyButTheChannelAllocation) {
  SimKeyPlatform platform;
  SimDeviceConfig config = PlainKey();
  GetParam().configure(config.misbehave);
  platform.AddDevice(config);
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  ASSERT_EQ(channel, SIMKEY_FIRST_CHANNEL);
  for (int request = 0; request < 2; ++request) {
    host.Send(channel, 0x83, kApdu);
    GetParam().check(host.Drain(100), channel);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimFaultTest,
    ::testing::Values(
        FaultCase{"keep_alives_for_ever", [](SimMisbehaviour& m) { m.keepAliveForever = true; },
                  [](const std::vector<Bytes>& reports, uint32_t channel) {
                    ASSERT_EQ(reports.size(), 100u);
                    for (const Bytes& report : reports) {
                      EXPECT_EQ(ChannelOf(report), channel);
                      EXPECT_EQ(report[5], 0xBB);
                      EXPECT_EQ(AnnouncedLength(report), 1u);
                    }
                  }},
        FaultCase{"truncated", [](SimMisbehaviour& m) { m.truncatedReply = true; },
                  [](const std::vector<Bytes>& reports, uint32_t) {
                    ASSERT_EQ(reports.size(), 1u);
                    EXPECT_EQ(AnnouncedLength(reports[0]), 102u);
                  }},
        FaultCase{"zero_length_reports", [](SimMisbehaviour& m) { m.zeroLengthReports = 3; },
                  [](const std::vector<Bytes>& reports, uint32_t channel) {
                    ASSERT_EQ(reports.size(), 5u);
                    for (size_t i = 0; i < 3; ++i) {
                      EXPECT_EQ(ChannelOf(reports[i]), channel);
                      EXPECT_EQ(reports[i][5], 0x83);
                      EXPECT_EQ(AnnouncedLength(reports[i]), 0u);
                    }
                    EXPECT_EQ(AnnouncedLength(reports[3]), 102u);
                  }},
        FaultCase{"oversize", [](SimMisbehaviour& m) { m.oversizeReply = 5000; },
                  [](const std::vector<Bytes>& reports, uint32_t) {
                    ASSERT_EQ(reports.size(), 85u);  // 57 + 84 * 59 >= 5000
                    EXPECT_EQ(AnnouncedLength(reports[0]), 5000u);
                    EXPECT_EQ(reports[84][5], 83) << "last sequence number";
                  }},
        FaultCase{
            "silent", [](SimMisbehaviour& m) { m.silent = true; },
            [](const std::vector<Bytes>& reports, uint32_t) { EXPECT_TRUE(reports.empty()); }},
        FaultCase{"other_channel", [](SimMisbehaviour& m) { m.otherChannelReply = true; },
                  [](const std::vector<Bytes>& reports, uint32_t) {
                    ASSERT_EQ(reports.size(), 2u);
                    for (const Bytes& report : reports) {
                      EXPECT_EQ(ChannelOf(report), SIMKEY_FOREIGN_CHANNEL);
                    }
                  }},
        FaultCase{"foreign_first", [](SimMisbehaviour& m) { m.foreignReportsFirst = 2; },
                  [](const std::vector<Bytes>& reports, uint32_t channel) {
                    ASSERT_EQ(reports.size(), 4u);
                    for (size_t i = 0; i < 2; ++i) {
                      EXPECT_EQ(ChannelOf(reports[i]), SIMKEY_FOREIGN_CHANNEL);
                      EXPECT_EQ(AnnouncedLength(reports[i]), 2u) << "complete short reply";
                    }
                    EXPECT_EQ(ChannelOf(reports[2]), channel);
                    EXPECT_EQ(AnnouncedLength(reports[2]), 102u);
                  }},
        FaultCase{"ctaphid_error", [](SimMisbehaviour& m) { m.ctaphidError = 0x06; },
                  [](const std::vector<Bytes>& reports, uint32_t) {
                    ASSERT_EQ(reports.size(), 1u);
                    EXPECT_EQ(reports[0][5], 0xBF);
                    EXPECT_EQ(AnnouncedLength(reports[0]), 1u);
                    EXPECT_EQ(reports[0][8], 0x06);
                  }},
        FaultCase{"bad_sequence", [](SimMisbehaviour& m) { m.badSequence = true; },
                  [](const std::vector<Bytes>& reports, uint32_t) {
                    ASSERT_EQ(reports.size(), 2u);
                    EXPECT_EQ(reports[1][5], 1);
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimKeyTest, SwitchesActWhileTheyAreSet) {
  SimKeyPlatform platform;
  SimDevice& device = platform.AddDevice(PlainKey());
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  device.config.misbehave.silent = true;
  host.Send(channel, 0x83, kApdu);
  EXPECT_TRUE(host.Drain().empty());
  device.config.misbehave.silent = false;
  EXPECT_EQ(host.Exchange(channel, 0x83, kApdu).payload, Reply102());
}

TEST(SimKeyTest, InitFaults) {
  SimKeyPlatform platform;
  SimDeviceConfig config = PlainKey();
  config.misbehave.initWrongNonceFirst = true;
  SimDevice& device = platform.AddDevice(config);
  SimHost host(platform);
  const Bytes nonce = Counting(8);
  host.Send(kBroadcast, 0x86, nonce);
  const std::vector<Bytes> reports = host.Drain();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(Bytes(reports[0].begin() + 8, reports[0].begin() + 16), nonce);
  EXPECT_EQ(Bytes(reports[1].begin() + 8, reports[1].begin() + 16), nonce);
  // The wrong reply names a channel that does not work.
  Bytes bogus(65, 0);
  bogus[1] = reports[0][16], bogus[2] = reports[0][17], bogus[3] = reports[0][18],
  bogus[4] = reports[0][19];
  EXPECT_EQ(ChannelOf(bogus), SIMKEY_BOGUS_CHANNEL);
  EXPECT_EQ(host.Exchange(SIMKEY_BOGUS_CHANNEL, 0x83, kApdu).command, 0xBF);

  device.config.misbehave.initWrongNonceFirst = false;
  device.config.misbehave.silentInit = true;
  host.Send(kBroadcast, 0x86, nonce);
  EXPECT_TRUE(host.Drain().empty());
  EXPECT_EQ(device.initCount, 2u);
}

TEST(SimKeyTest, TouchCommandsSendKeepAlivesUntilTheTouch) {
  SimKeyPlatform platform;
  SimDeviceConfig config = PlainKey();
  config.touchDelayMs = 1000;
  platform.AddDevice(config);
  SimHost host(platform);
  const uint32_t channel = host.Allocate();

  const uint64_t start = platform.clock().NowMs();
  HostReply reply = host.Exchange(channel, 0x90, {0x01, 0xA0});
  ASSERT_TRUE(reply.complete);
  EXPECT_EQ(reply.payload, (Bytes{0x00, 0xA0}));
  EXPECT_EQ(reply.keepAlives, 10);
  EXPECT_EQ(platform.clock().NowMs() - start, 1000u);

  // Commands that are not listed answer at once.
  reply = host.Exchange(channel, 0x90, {0x04});
  EXPECT_EQ(reply.keepAlives, 0);
  EXPECT_EQ(reply.payload, Bytes{0x01});

  // A poll during the wait finds nothing; a cancel ends the wait.
  host.Send(channel, 0x90, {0x01, 0xA0});
  EXPECT_TRUE(host.ReadReport(0).empty());
  const Bytes keepAlive = host.ReadReport();
  ASSERT_EQ(keepAlive.size(), 65u);
  EXPECT_EQ(keepAlive[5], 0xBB);
  EXPECT_EQ(keepAlive[8], 0x02) << "user presence needed";
  host.Send(channel, 0x91, {});
  reply = host.Receive(channel);
  EXPECT_EQ(reply.keepAlives, 0);
  EXPECT_EQ(reply.payload, Bytes{0x2D});
}

TEST(SimKeyTest, RawReportsReplaceTheNextAnswerOnly) {
  SimKeyPlatform platform;
  SimDevice& device = platform.AddDevice(PlainKey());
  SimHost host(platform);
  Bytes first(65, 0xEE), second(40, 0x11);
  device.QueueRawReports({first, second}, true);
  const uint32_t channel = host.Allocate();  // INIT is not replaced
  ASSERT_EQ(channel, SIMKEY_FIRST_CHANNEL);
  host.Send(channel, 0x83, kApdu);
  const std::vector<Bytes> reports = host.Drain();
  ASSERT_EQ(reports.size(), 2u);
  PutChannel(channel, first);
  PutChannel(channel, second);
  EXPECT_EQ(reports[0], first);
  EXPECT_EQ(reports[1], second) << "delivered as queued, at their own length";
  EXPECT_EQ(host.Exchange(channel, 0x83, kApdu).payload, Reply102());

  device.QueueRawReports({Bytes(65, 0xEE)}, false);
  host.Send(channel, 0x83, kApdu);
  EXPECT_EQ(host.Drain(), std::vector<Bytes>{Bytes(65, 0xEE)});
}

TEST(SimKeyTest, UnpluggedDevicesLeaveAndTheirHandlesFail) {
  SimKeyPlatform platform;
  SimDevice& gone = platform.AddDevice(PlainKey());
  platform.AddDevice(PlainKey());
  SimHost host(platform);
  ASSERT_NE(host.Allocate(), 0u);
  const std::string path = gone.config().path;
  EXPECT_EQ(path, "simkey:0");

  platform.RemoveDevice(path);
  EXPECT_EQ(platform.deviceCount(), 1u);
  EXPECT_EQ(platform.device(0).config().path, "simkey:1");
  std::vector<HidInterface> interfaces;
  ASSERT_TRUE(platform.Enumerate(interfaces));
  ASSERT_EQ(interfaces.size(), 1u);
  EXPECT_EQ(interfaces[0].path, "simkey:1");

  uint8_t report[65] = {};
  EXPECT_EQ(platform.Read(host.readHandle(), report, 65, 0), -1);
  EXPECT_EQ(platform.Write(host.writeHandle(), report, 65), -1);
  EXPECT_FALSE(platform.GetReportLengths(host.readHandle(), nullptr, nullptr));
  int error = 0;
  EXPECT_EQ(platform.Open(path, HidAccess::kRead, &error), KEY_INVALID_HANDLE);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(gone.initCount, 1u) << "recordings outlive the unplugging";
}

TEST(SimKeyTest, PlatformFailures) {
  SimKeyPlatform platform;
  SimDeviceConfig config = PlainKey();
  config.openError = EACCES;
  platform.AddDevice(config);
  config.openError = 0;
  config.misbehave.writeFails = true;
  config.misbehave.readFails = true;
  SimDevice& failing = platform.AddDevice(config);

  int error = 0;
  EXPECT_EQ(platform.Open("simkey:0", HidAccess::kRead, &error), KEY_INVALID_HANDLE);
  EXPECT_EQ(error, EACCES);
  const KeyHandle handle = platform.Open("simkey:1", HidAccess::kWrite, &error);
  ASSERT_NE(handle, KEY_INVALID_HANDLE);
  uint8_t report[65] = {};
  EXPECT_EQ(platform.Write(handle, report, 65), -1);
  EXPECT_EQ(platform.Read(handle, report, 65, 10), -1);
  EXPECT_EQ(failing.writtenReports.size(), 1u);
  platform.Close(handle);
  EXPECT_EQ(platform.Read(handle, report, 65, 10), -1) << "closed";
  EXPECT_EQ(platform.platformCalls(), 6u);
}

TEST(SimKeyTest, FromProfileMakesOneDevicePerEntry) {
  EXPECT_EQ(SimKeyPlatform::FromProfile({})->deviceCount(), 0u) << "a run without a key";

  SimClock clock;
  auto two = SimKeyPlatform::FromProfile({SimDeviceConfig(), SimDeviceConfig()}, &clock);
  EXPECT_EQ(two->deviceCount(), 2u);
  EXPECT_EQ(&two->clock(), &clock);
}

}  // namespace
