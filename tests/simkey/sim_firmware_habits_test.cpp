// Profile switches for habits of other firmwares, and the command line of
// quillmark-simkey.
#include <gtest/gtest.h>

#include "simkey/server/sim_server_options.h"
#include "simkey/sim_platform.h"
#include "simkey/sim_profile.h"
#include "tests/simkey/sim_host.h"

namespace {

TEST(SimFirmwareHabitsTest, SequentialChannelsCountFromTwoAsBytesOnTheWire) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(R"({"devices": [{"sequentialChannels": true}]})", devices, error))
      << error;
  SimKeyPlatform platform;
  platform.AddDevice(devices[0]);
  SimHost host(platform);
  EXPECT_EQ(host.Allocate(), 0x02000000u);
  EXPECT_EQ(host.Allocate(), 0x03000000u);
  EXPECT_EQ(host.Allocate(), 0x04000000u);
}

TEST(SimFirmwareHabitsTest, ProcessingKeepAliveFollowsTheTouch) {
  for (bool processing : {false, true}) {
    SimKeyPlatform platform;
    SimDeviceConfig config;
    config.builtin = false;
    config.cbor[0x01] = {0x00, 0xA0};
    config.touchDelayMs = 300;
    config.processingKeepAlive = processing;
    platform.AddDevice(config);
    SimHost host(platform);
    const uint32_t channel = host.Allocate();
    host.Send(channel, 0x90, {0x01, 0xA0});  // makeCredential waits for the touch
    Bytes statuses;
    for (int reads = 0; reads < 20; ++reads) {
      const Bytes report = host.ReadReport();
      ASSERT_EQ(report.size(), 65u);
      if (report[5] != 0xBB) {
        EXPECT_EQ(report[5], 0x90);
        break;
      }
      statuses.push_back(report[8]);
    }
    Bytes expected(3, 0x02);
    if (processing) expected.push_back(0x01);
    EXPECT_EQ(statuses, expected) << "processing " << processing;
  }
}

TEST(SimFirmwareHabitsTest, U2fVersionIsAnswered) {
  SimKeyPlatform platform;
  platform.AddDevice(SimDeviceConfig{});
  SimHost host(platform);
  const uint32_t channel = host.Allocate();
  for (const Bytes& apdu : {Bytes{0x00, 0x03, 0x00, 0x00}, Bytes{0x00, 0x03, 0x00, 0x00, 0x00},
                            Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}}) {
    const HostReply reply = host.Exchange(channel, 0x83, apdu);
    EXPECT_EQ(reply.payload, (Bytes{'U', '2', 'F', '_', 'V', '2', 0x90, 0x00}));
  }
}

TEST(SimServerOptionsTest, ReadsEndpointsAndDefaults) {
  const struct {
    std::vector<std::string> args;
    bool udp;
    std::string udpHost;
    uint16_t udpPort;
    uint16_t replyPort;
    bool tcp;
    std::string tcpHost;
    uint16_t tcpPort;
    std::string profile;
  } cases[] = {
      {{}, true, "127.0.0.1", 8111, 7112, false, "127.0.0.1", 0, ""},
      {{"key.json"}, true, "127.0.0.1", 8111, 7112, false, "127.0.0.1", 0, "key.json"},
      {{"--udp", "9000"}, true, "127.0.0.1", 9000, 7112, false, "127.0.0.1", 0, ""},
      {{"--udp", "0:7200"}, true, "127.0.0.1", 0, 7200, false, "127.0.0.1", 0, ""},
      {{"--udp", "0.0.0.0:9000:7200"}, true, "0.0.0.0", 9000, 7200, false, "127.0.0.1", 0, ""},
      {{"--udp", "[::1]:9000"}, true, "::1", 9000, 7112, false, "127.0.0.1", 0, ""},
      {{"--tcp", "9100", "k.json"},
       false,
       "127.0.0.1",
       8111,
       7112,
       true,
       "127.0.0.1",
       9100,
       "k.json"},
      {{"--tcp", "localhost:9100", "--udp", "9000"},
       true,
       "127.0.0.1",
       9000,
       7112,
       true,
       "localhost",
       9100,
       ""},
  };
  for (const auto& c : cases) {
    const SimServerOptions options = ParseSimServerOptions(c.args);
    const std::string name = c.args.empty() ? "no arguments" : c.args[0] + " ...";
    ASSERT_EQ(options.error, "") << name;
    EXPECT_EQ(options.udp.enabled, c.udp) << name;
    if (c.udp) {
      EXPECT_EQ(options.udp.host, c.udpHost) << name;
      EXPECT_EQ(options.udp.port, c.udpPort) << name;
      EXPECT_EQ(options.udp.replyPort, c.replyPort) << name;
    }
    EXPECT_EQ(options.tcp.enabled, c.tcp) << name;
    if (c.tcp) {
      EXPECT_EQ(options.tcp.host, c.tcpHost) << name;
      EXPECT_EQ(options.tcp.port, c.tcpPort) << name;
    }
    EXPECT_EQ(options.profile, c.profile) << name;
  }
}

TEST(SimServerOptionsTest, RefusesBadArguments) {
  const std::vector<std::vector<std::string>> cases = {
      {"--udp"},
      {"--udp", "x"},
      {"--udp", "1:2:3:4"},
      {"--udp", "9000:0"},
      {"--tcp", "9000:7112"},
      {"--tcp", "70000"},
      {"--udp", "[::1"},
      {"a.json", "b.json"},
      {"--verbose"},
      {"--vpcd"},
      {"--vpcd", "1", "--udp", "2"},
  };
  for (const auto& args : cases) {
    EXPECT_NE(ParseSimServerOptions(args).error, "") << args[0] << " " << args.back();
  }
}

}  // namespace
