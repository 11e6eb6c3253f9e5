#include "transport/udp_platform.h"

#include <netinet/in.h>
#include <poll.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

std::atomic<uint64_t> skippedTotal{0};

// Packets sent before the authenticator first answered, sent again to the
// next address when the current one refuses them. Only the opening INIT and
// what follows it at once: more would be a stream we cannot replay.
constexpr size_t kReplayablePackets = 8;

// The reply socket's own address: the loopback of the peer's family for a
// loopback peer, the family's wildcard otherwise.
SocketAddress ReplyAddress(const SocketAddress& peer, uint16_t replyPort) {
  SocketAddress local;
  if (peer.family() == AF_INET6) {
    auto& ipv6 = reinterpret_cast<sockaddr_in6&>(local.storage);
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(replyPort);
    ipv6.sin6_addr = IsLoopback(peer) ? in6addr_loopback : in6addr_any;
    local.length = sizeof ipv6;
  } else {
    auto& ipv4 = reinterpret_cast<sockaddr_in&>(local.storage);
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(replyPort);
    ipv4.sin_addr.s_addr = htonl(IsLoopback(peer) ? INADDR_LOOPBACK : INADDR_ANY);
    local.length = sizeof ipv4;
  }
  return local;
}

struct UdpSockets {
  SocketFd replies;
  SocketFd requests;
};

// Sockets for `peer`: false with the reason and an errno value.
bool OpenSockets(const SocketAddress& peer, uint16_t replyPort, UdpSockets& out, std::string& error,
                 int& errorCode) {
  const SocketAddress local = ReplyAddress(peer, replyPort);
  SocketFd replies = OpenSocket(peer.family(), SOCK_DGRAM);
  if (replies.valid() && peer.family() == AF_INET6) {
    // Our wildcard stays in its family, as the peer's replies do.
    const int on = 1;
    setsockopt(replies.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  }
  if (!replies.valid() ||
      bind(replies.get(), reinterpret_cast<const sockaddr*>(&local.storage), local.length) != 0) {
    errorCode = errno;
    error = "cannot receive on " + FormatAddress(local) + ": " + ErrorText(errno);
    return false;
  }
  SocketFd requests = OpenSocket(peer.family(), SOCK_DGRAM);
  if (!requests.valid() ||
      connect(requests.get(), reinterpret_cast<const sockaddr*>(&peer.storage), peer.length) != 0) {
    errorCode = errno;
    error = "cannot send to " + FormatAddress(peer) + ": " + ErrorText(errno);
    return false;
  }
  out.replies = std::move(replies);
  out.requests = std::move(requests);
  return true;
}

class UdpLink final : public NetworkLink {
 public:
  UdpLink(std::vector<SocketAddress> peers, size_t current, UdpSockets sockets, uint16_t replyPort)
      : peers_(std::move(peers)),
        current_(current),
        sockets_(std::move(sockets)),
        replyPort_(replyPort) {}

  bool Send(const uint8_t packet[NETWORK_PACKET_SIZE], std::string& error) override {
    if (!answered_ && unanswered_.size() < kReplayablePackets) {
      unanswered_.emplace_back(packet, packet + NETWORK_PACKET_SIZE);
    }
    return SendNow(packet, error);
  }

  int Receive(uint8_t packet[NETWORK_PACKET_SIZE], const NetworkClock::time_point* deadline,
              std::string& error) override {
    for (;;) {
      // An ICMP "port unreachable" for our requests shows as an error on the
      // connected request socket.
      pollfd waits[2] = {{sockets_.replies.get(), POLLIN, 0}, {sockets_.requests.get(), POLLIN, 0}};
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
        getsockopt(sockets_.requests.get(), SOL_SOCKET, SO_ERROR, &pending, &size);
        if (pending != 0) {
          const std::string refused = Failure(ErrorText(pending));
          if (pending == ECONNREFUSED && TryNextPeer()) continue;
          error = refused;
          return -1;
        }
        // The connected request socket takes only the peer's datagrams (an
        // authenticator answering its sender): take them like replies.
        if (const int got = TakeDatagram(sockets_.requests.get(), false, packet, error); got != 0) {
          return got;
        }
      }
      if ((waits[0].revents & POLLIN) != 0) {
        if (const int got = TakeDatagram(sockets_.replies.get(), true, packet, error); got != 0) {
          return got;
        }
      }
      if (deadline != nullptr && MillisecondsLeft(deadline) == 0) return 0;
    }
  }

 private:
  bool SendNow(const uint8_t packet[NETWORK_PACKET_SIZE], std::string& error) {
    const ssize_t sent = send(sockets_.requests.get(), packet, NETWORK_PACKET_SIZE, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(NETWORK_PACKET_SIZE)) return true;
    error = sent < 0 ? Failure(ErrorText(errno)) : "a datagram went out short";
    return false;
  }

  // The reason, after the peer's address when a name gave several.
  std::string Failure(const std::string& reason) const {
    return peers_.size() > 1 ? FormatAddress(peers_[current_]) + ": " + reason : reason;
  }

  // Moves to the next address that can be reached and sends it what the
  // refusing one got; false when none is left or nothing can be replayed.
  bool TryNextPeer() {
    if (answered_ || unanswered_.size() >= kReplayablePackets) return false;
    while (current_ + 1 < peers_.size()) {
      ++current_;
      std::string ignored;
      int code = 0;
      UdpSockets next;
      // Our own reply socket goes first: the next one may need its port.
      sockets_ = UdpSockets();
      if (!OpenSockets(peers_[current_], replyPort_, next, ignored, code)) continue;
      sockets_ = std::move(next);
      bool sent = true;
      for (const std::vector<uint8_t>& packet : unanswered_) {
        sent = sent && SendNow(packet.data(), ignored);
      }
      if (sent) return true;
    }
    return false;
  }

  // 1 with a packet; 0 for nothing usable (a datagram of another size is not
  // a packet, nor one from anyone but the peer, and is dropped); -1 on failure.
  int TakeDatagram(int fd, bool checkSource, uint8_t packet[NETWORK_PACKET_SIZE],
                   std::string& error) {
    uint8_t datagram[NETWORK_PACKET_SIZE + 1];
    SocketAddress source;
    source.length = sizeof source.storage;
    const ssize_t got = recvfrom(fd, datagram, sizeof datagram, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&source.storage), &source.length);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
      error = Failure(ErrorText(errno));
      return -1;
    }
    if (checkSource && !SameEndpoint(source, peers_[current_])) {
      skippedTotal.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
    if (got != static_cast<ssize_t>(NETWORK_PACKET_SIZE)) return 0;
    std::memcpy(packet, datagram, NETWORK_PACKET_SIZE);
    answered_ = true;
    unanswered_.clear();
    return 1;
  }

  std::vector<SocketAddress> peers_;
  size_t current_;
  UdpSockets sockets_;
  uint16_t replyPort_;
  bool answered_ = false;
  std::vector<std::vector<uint8_t>> unanswered_;
};

}  // namespace

uint64_t UdpPlatform::SkippedDatagrams() { return skippedTotal.load(std::memory_order_relaxed); }

std::unique_ptr<NetworkLink> UdpPlatform::Connect(std::string& error, int& errorCode) {
  const DeviceName& target = name();
  const NetworkClock::time_point deadline =
      NetworkClock::now() + std::chrono::milliseconds(ConnectTimeoutMs());
  std::vector<SocketAddress> peers;
  if (!ResolveAddresses(target.host, target.port, SOCK_DGRAM, deadline, peers, error)) {
    errorCode = EHOSTUNREACH;
    return nullptr;
  }
  // An address whose sockets cannot be made (no IPv6 here, say) gives way to
  // the next; the first failure is the one told.
  std::string firstError;
  for (size_t i = 0; i < peers.size(); ++i) {
    UdpSockets sockets;
    std::string reason;
    int code = 0;
    if (OpenSockets(peers[i], target.replyPort, sockets, reason, code)) {
      return std::make_unique<UdpLink>(std::move(peers), i, std::move(sockets), target.replyPort);
    }
    if (firstError.empty()) {
      firstError = reason;
      errorCode = code;
    }
  }
  error = firstError;
  return nullptr;
}
