#include "transport/device_name.h"

#include <gtest/gtest.h>

namespace {

struct Good {
  const char* text;
  DeviceName::Kind kind;
  const char* path;
  const char* host;
  uint16_t port;
  uint16_t replyPort;
  uint16_t vendorId;
  uint16_t productId;
};

TEST(DeviceNameTest, ParsesEveryForm) {
  using Kind = DeviceName::Kind;
  const Good cases[] = {
      {"udp:127.0.0.1:8111", Kind::kUdp, "udp:127.0.0.1:8111", "127.0.0.1", 8111, 7112, 0xF1D0,
       0x0001},
      {"udp:localhost:8111:9000", Kind::kUdp, "udp:localhost:8111:9000", "localhost", 8111, 9000,
       0xF1D0, 0x0001},
      {"udp:127.0.0.1:8111,vid=096e,pid=858", Kind::kUdp, "udp:127.0.0.1:8111", "127.0.0.1", 8111,
       7112, 0x096E, 0x0858},
      {"tcp:[::1]:9000,pid=1234", Kind::kTcp, "tcp:[::1]:9000", "::1", 9000, 7112, 0xF1D0, 0x1234},
      {"/dev/hidraw3", Kind::kHidPath, "/dev/hidraw3", "", 0, 7112, 0, 0},
      {"096E:0858", Kind::kVendorProduct, "096E:0858", "", 0, 7112, 0x096E, 0x0858},
      {"1:ffff", Kind::kVendorProduct, "1:ffff", "", 0, 7112, 0x0001, 0xFFFF},
  };
  for (const Good& c : cases) {
    DeviceName name;
    std::string error;
    ASSERT_TRUE(ParseDeviceName(c.text, name, error)) << c.text << ": " << error;
    EXPECT_EQ(name.kind, c.kind) << c.text;
    EXPECT_EQ(name.path, c.path) << c.text;
    EXPECT_EQ(name.host, c.host) << c.text;
    EXPECT_EQ(name.port, c.port) << c.text;
    EXPECT_EQ(name.replyPort, c.replyPort) << c.text;
    EXPECT_EQ(name.vendorId, c.vendorId) << c.text;
    EXPECT_EQ(name.productId, c.productId) << c.text;
  }
}

TEST(DeviceNameTest, RefusesBadValuesAndSaysWhy) {
  const struct {
    const char* text;
    const char* problem;
  } cases[] = {
      {"", "not a network address"},
      {"udp:", "a port must follow the host"},
      {"udp:127.0.0.1", "a port must follow the host"},
      {"udp::8111", "the host is missing"},
      {"udp:127.0.0.1:0", "\"0\" is not a port"},
      {"udp:127.0.0.1:65536", "\"65536\" is not a port"},
      {"udp:127.0.0.1:8111:x", "\"x\" is not a reply port"},
      {"udp:127.0.0.1:1:2:3", "too many ports"},
      {"tcp:127.0.0.1:1:2", "too many ports"},
      {"tcp:[::1:9000", "closing bracket"},
      {"tcp:127.0.0.1:9000,vid=0", "not all 0"},
      {"tcp:127.0.0.1:9000,vid=12345", "1 to 4 hexadecimal digits"},
      {"tcp:127.0.0.1:9000,serial=1", "is not vid=XXXX or pid=XXXX"},
      {"096E", "not a network address, a hidraw path or VID:PID"},
      {"096E:0858:1", "not a network address"},
      {"0:0858", "must not be 0"},
      {"hidraw3", "not a network address"},
  };
  for (const auto& c : cases) {
    DeviceName name;
    name.port = 42;
    std::string error;
    EXPECT_FALSE(ParseDeviceName(c.text, name, error)) << c.text;
    EXPECT_NE(error.find(c.problem), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(name.port, 42) << "left as it was: " << c.text;
  }
}

}  // namespace
