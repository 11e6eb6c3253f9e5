// The network platforms against peers on the loopback interface: scripted
// ones for bad input, and quillmark-simkey's server for whole exchanges.
// Waits for peers that send nothing are capped at a few milliseconds.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "simkey/server/sim_server.h"
#include "tests/served_key.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"
#include "transport/network_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kShortWaitMs = 30;

// A socket on 127.0.0.1 and an ephemeral port, closed at the end.
struct Peer {
  explicit Peer(int type) : fd(socket(AF_INET, type, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    if (type == SOCK_STREAM) listen(fd, 2);
  }
  ~Peer() {
    if (fd >= 0) close(fd);
  }
  void SendTo(uint16_t toPort, const Bytes& datagram) const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(toPort);
    sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
  }
  int fd;
  uint16_t port = 0;
};

// A UDP port that was free a moment ago.
uint16_t FreeUdpPort() { return Peer(SOCK_DGRAM).port; }

DeviceName Named(DeviceName::Kind kind, uint16_t port, uint16_t replyPort = 0) {
  DeviceName name;
  name.kind = kind;
  name.host = "127.0.0.1";
  name.port = port;
  name.replyPort = replyPort;
  name.path =
      (kind == DeviceName::Kind::kUdp ? "udp:127.0.0.1:" : "tcp:127.0.0.1:") + std::to_string(port);
  name.vendorId = DEVICE_NAME_NETWORK_VENDOR_ID;
  name.productId = DEVICE_NAME_NETWORK_PRODUCT_ID;
  return name;
}

Bytes Packet(uint8_t fill) { return Bytes(NETWORK_PACKET_SIZE, fill); }

TEST(NetworkPlatformTest, ShowsOneFidoInterfaceNamedByTheAddress) {
  DeviceName name = Named(DeviceName::Kind::kTcp, 9000);
  name.vendorId = 0x1234;
  auto platform = NetworkPlatform::ForName(name);
  std::vector<HidInterface> present;
  ASSERT_TRUE(platform->Enumerate(present));
  ASSERT_EQ(present.size(), 1u);
  EXPECT_EQ(present[0].path, "tcp:127.0.0.1:9000");
  EXPECT_EQ(present[0].productName, "tcp:127.0.0.1:9000");
  EXPECT_EQ(present[0].usagePage, FIDO_USAGE_PAGE);
  EXPECT_EQ(present[0].vendorId, 0x1234);
  EXPECT_EQ(present[0].productId, DEVICE_NAME_NETWORK_PRODUCT_ID);
  int error = 0;
  EXPECT_EQ(platform->Open("tcp:127.0.0.1:9001", HidAccess::kRead, &error), KEY_INVALID_HANDLE);
  EXPECT_EQ(error, ENOENT);
}

TEST(NetworkPlatformTest, UdpTakesOnlyWholePacketsAndHonoursTheWait) {
  Peer authenticator(SOCK_DGRAM);
  const uint16_t replyPort = FreeUdpPort();
  auto platform =
      NetworkPlatform::ForName(Named(DeviceName::Kind::kUdp, authenticator.port, replyPort));
  platform->SetWaitLimitMs(kShortWaitMs);
  const KeyHandle read = platform->Open(platform->name().path, HidAccess::kRead, nullptr);
  const KeyHandle write = platform->Open(platform->name().path, HidAccess::kWrite, nullptr);
  ASSERT_NE(read, KEY_INVALID_HANDLE);
  ASSERT_NE(write, KEY_INVALID_HANDLE);

  // Our packet goes out without the report id.
  Bytes report(CTAPHID_REPORT_LENGTH, 0x5A);
  report[0] = 0;
  EXPECT_EQ(platform->Write(write, report.data(), report.size()), 65);
  uint8_t datagram[100];
  EXPECT_EQ(recv(authenticator.fd, datagram, sizeof datagram, 0), 64);
  EXPECT_EQ(datagram[0], 0x5A);

  // Datagrams of other sizes are not packets.
  authenticator.SendTo(replyPort, Bytes(10, 1));
  authenticator.SendTo(replyPort, Bytes(65, 2));
  authenticator.SendTo(replyPort, Bytes());
  authenticator.SendTo(replyPort, Packet(3));
  uint8_t in[KEY_REPORT_BUFFER_SIZE] = {};
  ASSERT_EQ(platform->Read(read, in, CTAPHID_REPORT_LENGTH, 5000), 65);
  EXPECT_EQ(in[0], 0);
  EXPECT_EQ(in[1], 3);
  EXPECT_EQ(in[64], 3);

  // Nothing at all: the capped wait ends with 0, not a failure.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform->Read(read, in, CTAPHID_REPORT_LENGTH, 5000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(platform->Read(read, in, CTAPHID_REPORT_LENGTH, 0), 0);
  EXPECT_TRUE(platform->failure().empty());
  EXPECT_TRUE(platform->answered());

  // A report too short to hold a packet is refused.
  EXPECT_EQ(platform->Write(write, report.data(), 64), -1);
  EXPECT_EQ(platform->Read(read, in, 64, 0), -1);
  platform->Close(read);
  platform->Close(write);
}

TEST(NetworkPlatformTest, UdpPortWithNobodyFailsLikeAFailedRead) {
  const uint16_t nobody = FreeUdpPort();
  auto platform = NetworkPlatform::ForName(Named(DeviceName::Kind::kUdp, nobody, FreeUdpPort()));
  platform->SetWaitLimitMs(1000);
  const KeyHandle handle = platform->Open(platform->name().path, HidAccess::kRead, nullptr);
  ASSERT_NE(handle, KEY_INVALID_HANDLE);
  Bytes report(CTAPHID_REPORT_LENGTH, 0);
  platform->Write(handle, report.data(), report.size());
  uint8_t in[KEY_REPORT_BUFFER_SIZE];
  EXPECT_EQ(platform->Read(handle, in, CTAPHID_REPORT_LENGTH, 5000), -1);
  EXPECT_NE(platform->failure().find("refused"), std::string::npos) << platform->failure();
  EXPECT_FALSE(platform->answered());
  // It stays failed until the interface is opened again.
  EXPECT_EQ(platform->Write(handle, report.data(), report.size()), -1);
  platform->Close(handle);
}

TEST(NetworkPlatformTest, UdpReplyPortTakenFailsTheOpen) {
  Peer squatter(SOCK_DGRAM);
  auto platform =
      NetworkPlatform::ForName(Named(DeviceName::Kind::kUdp, FreeUdpPort(), squatter.port));
  int error = 0;
  EXPECT_EQ(platform->Open(platform->name().path, HidAccess::kRead, &error), KEY_INVALID_HANDLE);
  EXPECT_EQ(error, EADDRINUSE);
  EXPECT_NE(platform->failure().find(std::to_string(squatter.port)), std::string::npos);
}

TEST(NetworkPlatformTest, TcpRefusedConnectionFailsTheOpen) {
  uint16_t closedPort = 0;
  {
    Peer gone(SOCK_STREAM);
    closedPort = gone.port;
  }
  auto platform = NetworkPlatform::ForName(Named(DeviceName::Kind::kTcp, closedPort));
  int error = 0;
  EXPECT_EQ(platform->Open(platform->name().path, HidAccess::kRead, &error), KEY_INVALID_HANDLE);
  EXPECT_EQ(error, ECONNREFUSED);
  EXPECT_FALSE(platform->failure().empty());
}

// A TCP authenticator that accepted our connection.
struct TcpSession {
  TcpSession() : listener(SOCK_STREAM) {
    platform = NetworkPlatform::ForName(Named(DeviceName::Kind::kTcp, listener.port));
    platform->SetWaitLimitMs(kShortWaitMs);
    read = platform->Open(platform->name().path, HidAccess::kRead, nullptr);
    write = platform->Open(platform->name().path, HidAccess::kWrite, nullptr);
    stream = accept(listener.fd, nullptr, nullptr);
  }
  ~TcpSession() {
    if (stream >= 0) close(stream);
  }
  void Send(const Bytes& bytes) const { send(stream, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  int Read(uint8_t* in) { return platform->Read(read, in, CTAPHID_REPORT_LENGTH, 5000); }

  Peer listener;
  std::unique_ptr<NetworkPlatform> platform;
  KeyHandle read = KEY_INVALID_HANDLE;
  KeyHandle write = KEY_INVALID_HANDLE;
  int stream = -1;
};

Bytes Framed(const Bytes& body) {
  Bytes frame(2 + body.size());
  frame[0] = static_cast<uint8_t>(body.size() >> 8);
  frame[1] = static_cast<uint8_t>(body.size());
  std::copy(body.begin(), body.end(), frame.begin() + 2);
  return frame;
}

TEST(NetworkPlatformTest, TcpFramesPacketsBothWays) {
  TcpSession session;
  ASSERT_NE(session.read, KEY_INVALID_HANDLE);
  ASSERT_GE(session.stream, 0);
  Bytes report(CTAPHID_REPORT_LENGTH, 0x11);
  report[0] = 0;
  EXPECT_EQ(session.platform->Write(session.write, report.data(), report.size()), 65);
  uint8_t sent[100];
  EXPECT_EQ(recv(session.stream, sent, 66, MSG_WAITALL), 66);
  EXPECT_EQ(sent[0], 0);
  EXPECT_EQ(sent[1], 64);
  EXPECT_EQ(sent[2], 0x11);

  // A frame of another length is skipped; the packet after it comes through.
  session.Send(Framed(Bytes(10, 9)));
  session.Send(Framed(Packet(4)));
  uint8_t in[KEY_REPORT_BUFFER_SIZE] = {};
  ASSERT_EQ(session.Read(in), 65);
  EXPECT_EQ(in[1], 4);
  // Nothing more: the capped wait ends with 0.
  EXPECT_EQ(session.Read(in), 0);
}

TEST(NetworkPlatformTest, TcpStreamClosedMidPacketFailsTheRead) {
  TcpSession session;
  ASSERT_GE(session.stream, 0);
  const Bytes frame = Framed(Packet(4));
  session.Send(Bytes(frame.begin(), frame.begin() + 20));
  close(session.stream);
  session.stream = -1;
  uint8_t in[KEY_REPORT_BUFFER_SIZE];
  EXPECT_EQ(session.Read(in), -1);
  EXPECT_NE(session.platform->failure().find("mid-packet"), std::string::npos)
      << session.platform->failure();
  EXPECT_EQ(session.Read(in), -1);
}

class NetworkKeyTest : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override {
    KeyDevice::Instance().SetNamedDevice(nullptr);
    KeyDevice::Instance().SetPlatform(nullptr);
    platform.reset();
  }

  // Selects the served key through the transport, as a refresh does.
  bool Select(const ServedKey& served) {
    DeviceName name;
    std::string error;
    if (!ParseDeviceName(served.address, name, error)) return false;
    platform = NetworkPlatform::ForName(name);
    platform->SetWaitLimitMs(200);
    KeyDevice& key = KeyDevice::Instance();
    key.SetPlatform(platform.get());
    key.SetNamedDevice(&name);
    KeyLayerReady = true;
    KeyEnumerate();
    return KeySelect(0, 0) == 1;
  }

  std::unique_ptr<NetworkPlatform> platform;
};

TEST_P(NetworkKeyTest, ExchangesWholeMessagesWithTheServedKey) {
  SimDeviceConfig config;
  config.misbehave.foreignReportsFirst = 2;  // replies on other channels come first
  ServedKey served(config, GetParam(), FreeUdpPort());
  ASSERT_TRUE(served.listening);
  ASSERT_TRUE(Select(served)) << served.address;

  const uint8_t getInfo[] = {0x04};
  uint8_t reply[KEY_REPLY_BUFFER_SIZE];
  uint32_t length = sizeof reply;
  EXPECT_EQ(KeySendCbor(getInfo, 1, reply, &length), 0x00);
  EXPECT_GT(length, 200u);  // several packets
  // U2F VERSION
  const uint8_t version[] = {0x00, 0x03, 0x00, 0x00, 0x00};
  length = sizeof reply;
  EXPECT_EQ(KeySendApdu(version, sizeof version, reply, &length, CTAPHID_MSG), 0x9000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), length), "U2F_V2");
  EXPECT_TRUE(platform->answered());
}

TEST_P(NetworkKeyTest, AnswersOverIpv6Loopback) {
  const int probe = socket(AF_INET6, SOCK_DGRAM, 0);
  sockaddr_in6 loopback{};
  loopback.sin6_family = AF_INET6;
  loopback.sin6_addr = in6addr_loopback;
  const bool ipv6 =
      probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
  if (probe >= 0) close(probe);
  if (!ipv6) GTEST_SKIP() << "this machine has no IPv6 loopback address";
  ServedKey served(SimDeviceConfig(), GetParam(), FreeUdpPort(), "::1");
  ASSERT_TRUE(served.listening);
  ASSERT_EQ(served.address.rfind(GetParam() ? "udp:[::1]:" : "tcp:[::1]:", 0), 0u)
      << served.address;
  ASSERT_TRUE(Select(served)) << served.address;
  const uint8_t getInfo[] = {0x04};
  uint8_t reply[KEY_REPLY_BUFFER_SIZE];
  uint32_t length = sizeof reply;
  EXPECT_EQ(KeySendCbor(getInfo, 1, reply, &length), 0x00);
  EXPECT_GT(length, 200u);
}

TEST_P(NetworkKeyTest, SilentKeyFailsTheExchangeWithinTheWait) {
  SimDeviceConfig config;
  config.misbehave.silent = true;
  ServedKey served(config, GetParam(), FreeUdpPort());
  ASSERT_TRUE(Select(served));
  const uint8_t getInfo[] = {0x04};
  uint8_t reply[64];
  uint32_t length = sizeof reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KeySendCbor(getInfo, 1, reply, &length), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

INSTANTIATE_TEST_SUITE_P(UdpAndTcp, NetworkKeyTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Udp" : "Tcp";
                         });

}  // namespace
