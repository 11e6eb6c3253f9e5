#include "transport/udp_platform.h"

#include <netinet/in.h>
#include <poll.h>

#include <cerrno>

namespace {

class UdpLink final : public NetworkLink {
 public:
  UdpLink(SocketFd replies, SocketFd requests)
      : replies_(std::move(replies)), requests_(std::move(requests)) {}

  bool Send(const uint8_t packet[NETWORK_PACKET_SIZE], std::string& error) override {
    const ssize_t sent = send(requests_.get(), packet, NETWORK_PACKET_SIZE, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(NETWORK_PACKET_SIZE)) return true;
    error = sent < 0 ? ErrorText(errno) : "a datagram went out short";
    return false;
  }

  int Receive(uint8_t packet[NETWORK_PACKET_SIZE], const NetworkClock::time_point* deadline,
              std::string& error) override {
    for (;;) {
      // An ICMP "port unreachable" for our requests shows as an error on the
      // connected request socket.
      pollfd waits[2] = {{replies_.get(), POLLIN, 0}, {requests_.get(), POLLIN, 0}};
      const int ready = poll(waits, 2, MillisecondsLeft(deadline));
      if (ready < 0) {
        if (errno == EINTR) continue;
        error = ErrorText(errno);
        return -1;
      }
      if (ready == 0) return 0;
      if ((waits[1].revents & (POLLERR | POLLIN)) != 0) {
        int pending = 0;
        socklen_t size = sizeof pending;
        getsockopt(requests_.get(), SOL_SOCKET, SO_ERROR, &pending, &size);
        if (pending != 0) {
          error = ErrorText(pending);
          return -1;
        }
        // A datagram on the request socket (an authenticator answering its
        // sender): take it like a reply.
        if (const int got = TakeDatagram(requests_.get(), packet, error); got != 0) return got;
      }
      if ((waits[0].revents & POLLIN) != 0) {
        if (const int got = TakeDatagram(replies_.get(), packet, error); got != 0) return got;
      }
      if (deadline != nullptr && MillisecondsLeft(deadline) == 0) return 0;
    }
  }

 private:
  // 1 with a packet; 0 for nothing usable (a datagram of another size is not
  // a packet and is dropped); -1 on failure.
  static int TakeDatagram(int fd, uint8_t packet[NETWORK_PACKET_SIZE], std::string& error) {
    uint8_t datagram[NETWORK_PACKET_SIZE + 1];
    const ssize_t got = recv(fd, datagram, sizeof datagram, MSG_TRUNC);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
      error = ErrorText(errno);
      return -1;
    }
    if (got != static_cast<ssize_t>(NETWORK_PACKET_SIZE)) return 0;
    std::copy(datagram, datagram + NETWORK_PACKET_SIZE, packet);
    return 1;
  }

  SocketFd replies_;
  SocketFd requests_;
};

}  // namespace

std::unique_ptr<NetworkLink> UdpPlatform::Connect(std::string& error, int& errorCode) {
  const DeviceName& target = name();
  SocketAddress authenticator;
  if (!ResolveAddress(target.host, target.port, SOCK_DGRAM, authenticator, error)) {
    errorCode = EHOSTUNREACH;
    return nullptr;
  }

  SocketFd replies = OpenSocket(AF_INET, SOCK_DGRAM);
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_port = htons(target.replyPort);
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!replies.valid() ||
      bind(replies.get(), reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback) != 0) {
    errorCode = errno;
    error =
        "cannot receive on 127.0.0.1:" + std::to_string(target.replyPort) + ": " + ErrorText(errno);
    return nullptr;
  }

  SocketFd requests = OpenSocket(authenticator.family(), SOCK_DGRAM);
  if (!requests.valid() ||
      connect(requests.get(), reinterpret_cast<const sockaddr*>(&authenticator.storage),
              authenticator.length) != 0) {
    errorCode = errno;
    error = "cannot send to " + FormatAddress(authenticator) + ": " + ErrorText(errno);
    return nullptr;
  }
  return std::make_unique<UdpLink>(std::move(replies), std::move(requests));
}
