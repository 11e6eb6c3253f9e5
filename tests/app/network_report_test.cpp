// The report and --list with a network --device: what the user is told when
// it cannot be reached, and a report that another local process cannot feed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "app/list_command.h"
#include "app/report_command.h"
#include "simkey/server/sim_server.h"
#include "simkey/sim_device.h"
#include "transport/udp_platform.h"

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// As main() runs it: a refused command line is exit status 2 and its reason.
Outcome Quillmark(const std::vector<std::string>& args) {
  const CommandLine line = ParseCommandLine(args);
  if (!line.error.empty())
    return {EXIT_BAD_ARGUMENTS, "", line.error.substr(0, line.error.find('\n'))};
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  const int status =
      line.list ? RunListCommand(line, out, err) : RunReportCommand(line, false, in, out, err);
  return {status, out.str(), err.str()};
}

// A loopback socket on an ephemeral port.
struct Socket {
  explicit Socket(int type = SOCK_DGRAM) : fd(socket(AF_INET, type, 0)) {
    sockaddr_in address = To(0);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  ~Socket() { close(fd); }
  static sockaddr_in To(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
  }
  void Send(const uint8_t* packet, uint16_t toPort) const {
    const sockaddr_in to = To(toPort);
    sendto(fd, packet, 64, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  int fd;
  uint16_t port = 0;
};

TEST(NetworkReportTest, SaysWhyTheDeviceCannotBeReached) {
  const std::string refused = "tcp:127.0.0.1:" + std::to_string(Socket(SOCK_STREAM).port);
  // The resolver's own words, whichever this machine's resolver gives.
  addrinfo* found = nullptr;
  const int lookup = getaddrinfo("nosuch.invalid", "8111", nullptr, &found);
  if (found != nullptr) freeaddrinfo(found);
  ASSERT_NE(lookup, 0);
  const std::string unresolved =
      std::string("cannot resolve nosuch.invalid: ") + gai_strerror(lookup);
  const struct {
    std::vector<std::string> args;
    std::string sentence;  // the whole stderr line, or for --list the reason on stdout
    int status;
  } cases[] = {
      {{"--report", "--device", refused},
       "cannot reach " + refused + ": Connection refused",
       EXIT_NO_KEY},
      {{"--report", "--device", "udp:nosuch.invalid:8111"},
       "cannot reach udp:nosuch.invalid:8111: " + unresolved,
       EXIT_NO_KEY},
      {{"--list", "--device", "tcp:nosuch.invalid:8111"},
       "may open: no, " + unresolved,
       EXIT_KEY_SHOWN},
      {{"--report", "--device", "udp:fe80::1:8111"},
       "bad device \"udp:fe80::1:8111\": IPv6 addresses are written in brackets: "
       "udp:[fe80::1]:8111",
       EXIT_BAD_ARGUMENTS},
      {{"--report", "--device", "tcp:::1:9000"},
       "bad device \"tcp:::1:9000\": IPv6 addresses are written in brackets: tcp:[::1]:9000",
       EXIT_BAD_ARGUMENTS},
  };
  for (const auto& c : cases) {
    const Outcome run = Quillmark(c.args);
    const std::string& device = c.args.back();
    EXPECT_EQ(run.status, c.status) << device << ": " << run.err;
    if (c.args[0] == "--list") {
      EXPECT_NE(run.out.find(c.sentence + "\n"), std::string::npos) << run.out;
    } else if (c.status == EXIT_BAD_ARGUMENTS) {
      EXPECT_EQ(run.err, c.sentence);
    } else {
      EXPECT_EQ(run.err, "quillmark: " + c.sentence + "\n");
    }
  }
}

// Stands between Quillmark and the served key, relaying both ways; before
// relaying a CBOR request it has a third socket answer it first, on the
// request's channel, with versions ["SPOOFED"].
struct SpoofingRelay {
  void Start(uint16_t keyPort, uint16_t replyPort) {
    thread = std::thread([this, keyPort, replyPort] {
      while (!stop) {
        pollfd waits[2] = {{front.fd, POLLIN, 0}, {back.fd, POLLIN, 0}};
        if (poll(waits, 2, 20) <= 0) continue;
        uint8_t packet[64];
        if ((waits[0].revents & POLLIN) != 0 && recv(front.fd, packet, 64, 0) == 64) {
          if (forge && packet[4] == 0x90) {
            uint8_t forged[64] = {packet[0], packet[1], packet[2], packet[3], 0x90, 0,   12,
                                  0x00,      0xA1,      0x01,      0x81,      0x67, 'S', 'P',
                                  'O',       'O',       'F',       'E',       'D'};
            spoofer.Send(forged, replyPort);
          }
          front.Send(packet, keyPort);
        }
        if ((waits[1].revents & POLLIN) != 0 && recv(back.fd, packet, 64, 0) == 64) {
          front.Send(packet, replyPort);
        }
      }
    });
  }
  ~SpoofingRelay() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  Socket front;    // what Quillmark is told is the authenticator
  Socket back;     // the served key's reply port
  Socket spoofer;  // anyone else on this machine
  std::atomic<bool> forge{false};
  std::atomic<bool> stop{false};
  std::thread thread;
};

TEST(NetworkReportTest, ReportIsTheAuthenticatorsWhateverElseReachesTheReplyPort) {
  SpoofingRelay relay;
  SimServerOptions options;
  options.udp.enabled = true;
  options.udp.port = 0;
  options.udp.replyPort = relay.back.port;
  SimServer server(SimDeviceConfig(), options);
  std::string error;
  ASSERT_TRUE(server.Listen(error)) << error;
  volatile int stop = 0;
  std::thread serving([&] { server.Run(stop, error); });
  // "udp:127.0.0.1:KEYPORT:REPLYPORT"
  const std::string served = server.Addresses();
  const size_t portAt = served.find(':', 4) + 1;
  const uint16_t keyPort = static_cast<uint16_t>(std::stoi(served.substr(portAt)));
  const uint16_t replyPort = Socket().port;
  relay.Start(keyPort, replyPort);
  const std::string device =
      "udp:127.0.0.1:" + std::to_string(relay.front.port) + ":" + std::to_string(replyPort);

  const Outcome plain = Quillmark({"--report", "--json", "--device", device});
  const uint64_t skippedBefore = UdpPlatform::SkippedDatagrams();
  relay.forge = true;
  const Outcome forged = Quillmark({"--report", "--json", "--device", device});
  stop = 1;
  serving.join();
  EXPECT_EQ(plain.status, EXIT_KEY_SHOWN) << plain.err;
  EXPECT_EQ(forged.status, EXIT_KEY_SHOWN) << forged.err;
  EXPECT_EQ(forged.out, plain.out);
  EXPECT_EQ(forged.out.find("SPOOFED"), std::string::npos);
  EXPECT_GT(UdpPlatform::SkippedDatagrams(), skippedBefore);
}

}  // namespace
