#include "transport/tcp_platform.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>

#include <cerrno>
#include <vector>

#include "transport/key_device.h"

namespace {

class TcpLink final : public NetworkLink {
 public:
  explicit TcpLink(SocketFd stream) : stream_(std::move(stream)) {}

  bool Send(const uint8_t packet[NETWORK_PACKET_SIZE], std::string& error) override {
    uint8_t frame[2 + NETWORK_PACKET_SIZE] = {0, NETWORK_PACKET_SIZE};
    std::copy(packet, packet + NETWORK_PACKET_SIZE, frame + 2);
    // A peer that stops reading cannot hold us longer than a read would.
    const NetworkClock::time_point deadline =
        NetworkClock::now() + std::chrono::milliseconds(KEY_READ_TIMEOUT_MS);
    size_t done = 0;
    while (done < sizeof frame) {
      const ssize_t sent = send(stream_.get(), frame + done, sizeof frame - done, MSG_NOSIGNAL);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
        continue;
      }
      if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        error = ErrorText(errno);
        return false;
      }
      if (WaitFor(stream_.get(), POLLOUT, &deadline) <= 0) {
        error = "the authenticator does not take what we send";
        return false;
      }
    }
    return true;
  }

  int Receive(uint8_t packet[NETWORK_PACKET_SIZE], const NetworkClock::time_point* deadline,
              std::string& error) override {
    for (;;) {
      if (frames_.Next(packet)) return 1;
      const int ready = WaitFor(stream_.get(), POLLIN, deadline);
      if (ready < 0) {
        error = ErrorText(errno);
        return -1;
      }
      if (ready == 0) return 0;
      uint8_t bytes[4096];
      const ssize_t got = recv(stream_.get(), bytes, sizeof bytes, 0);
      if (got == 0) {
        error = frames_.midFrame() ? "the authenticator closed the connection in mid-packet"
                                   : "the authenticator closed the connection";
        return -1;
      }
      if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        error = ErrorText(errno);
        return -1;
      }
      frames_.Feed(bytes, static_cast<size_t>(got));
    }
  }

 private:
  SocketFd stream_;
  TcpFrameReader frames_;
};

}  // namespace

std::unique_ptr<NetworkLink> TcpPlatform::Connect(std::string& error, int& errorCode) {
  const DeviceName& target = name();
  // Resolving and connecting share one time-out.
  const NetworkClock::time_point deadline =
      NetworkClock::now() + std::chrono::milliseconds(ConnectTimeoutMs());
  std::vector<SocketAddress> peers;
  if (!ResolveAddresses(target.host, target.port, SOCK_STREAM, deadline, peers, error)) {
    errorCode = EHOSTUNREACH;
    return nullptr;
  }
  error.clear();
  for (size_t i = 0; i < peers.size(); ++i) {
    // Each address left gets its share of the time, so a silent first one
    // cannot keep the others from being tried.
    const auto left = deadline - NetworkClock::now();
    const NetworkClock::time_point until =
        left.count() <= 0 ? deadline
                          : NetworkClock::now() + left / static_cast<int>(peers.size() - i);
    SocketFd stream = ConnectStream(peers[i], until, errorCode);
    if (stream.valid()) {
      // Packets are small and each waits for its answer.
      const int on = 1;
      setsockopt(stream.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      error.clear();
      return std::make_unique<TcpLink>(std::move(stream));
    }
    // The address itself is news only when a name gave several.
    if (!error.empty()) error += "; ";
    if (peers.size() > 1) error += FormatAddress(peers[i]) + ": ";
    error += ErrorText(errorCode);
  }
  return nullptr;
}
