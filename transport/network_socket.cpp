#include "transport/network_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

SocketFd& SocketFd::operator=(SocketFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}

SocketFd::~SocketFd() {
  if (fd_ >= 0) close(fd_);
}

namespace {

// getaddrinfo into `out`; 0 or the EAI_ code, with errno kept for EAI_SYSTEM.
int Lookup(const std::string& host, uint16_t port, int socketType, int flags,
           std::vector<SocketAddress>& out, int& systemError) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = socketType;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  systemError = errno;
  if (result != 0) return result;
  for (const addrinfo* one = found; one != nullptr; one = one->ai_next) {
    if (one->ai_addr == nullptr || one->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress address;
    std::memcpy(&address.storage, one->ai_addr, one->ai_addrlen);
    address.length = one->ai_addrlen;
    out.push_back(address);
  }
  freeaddrinfo(found);
  return out.empty() ? EAI_NONAME : 0;
}

// Shared by the caller and the resolver thread, which may outlive the wait.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int result = 0;
  int systemError = 0;
  std::vector<SocketAddress> found;
};

}  // namespace

bool ResolveAddresses(const std::string& host, uint16_t port, int socketType,
                      NetworkClock::time_point deadline, std::vector<SocketAddress>& out,
                      std::string& error) {
  out.clear();
  int systemError = 0;
  // A literal address needs no resolver.
  if (Lookup(host, port, socketType, AI_NUMERICHOST, out, systemError) == 0) return true;
  out.clear();

  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, host, port, socketType] {
      std::vector<SocketAddress> found;
      int systemError = 0;
      const int result = Lookup(host, port, socketType, 0, found, systemError);
      const std::lock_guard<std::mutex> lock(pending->mutex);
      pending->result = result;
      pending->systemError = systemError;
      pending->found = std::move(found);
      pending->done = true;
      pending->finished.notify_all();
    }).detach();
  } catch (const std::system_error& failure) {
    error = "cannot resolve " + host + ": " + failure.what();
    return false;
  }
  std::unique_lock<std::mutex> lock(pending->mutex);
  if (!pending->finished.wait_until(lock, deadline, [&] { return pending->done; })) {
    error = "cannot resolve " + host + ": the resolver did not answer in time";
    return false;
  }
  if (pending->result != 0) {
    error = "cannot resolve " + host + ": " +
            (pending->result == EAI_SYSTEM ? ErrorText(pending->systemError)
                                           : std::string(gai_strerror(pending->result)));
    return false;
  }
  out = std::move(pending->found);
  return true;
}

bool SameEndpoint(const SocketAddress& a, const SocketAddress& b) {
  if (a.family() != b.family()) return false;
  if (a.family() == AF_INET) {
    const auto* x = reinterpret_cast<const sockaddr_in*>(&a.storage);
    const auto* y = reinterpret_cast<const sockaddr_in*>(&b.storage);
    return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
  }
  if (a.family() == AF_INET6) {
    const auto* x = reinterpret_cast<const sockaddr_in6*>(&a.storage);
    const auto* y = reinterpret_cast<const sockaddr_in6*>(&b.storage);
    return x->sin6_port == y->sin6_port &&
           std::memcmp(&x->sin6_addr, &y->sin6_addr, sizeof x->sin6_addr) == 0;
  }
  return false;
}

bool IsLoopback(const SocketAddress& address) {
  if (address.family() == AF_INET) {
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(&address.storage);
    return (ntohl(ipv4->sin_addr.s_addr) >> 24) == 127;
  }
  if (address.family() == AF_INET6) {
    const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(&address.storage);
    return IN6_IS_ADDR_LOOPBACK(&ipv6->sin6_addr);
  }
  return false;
}

std::string FormatAddress(const SocketAddress& address) {
  char host[INET6_ADDRSTRLEN] = {};
  // Formatted into a buffer: GCC 12 at -O3 warns falsely (-Wrestrict) on
  // "[" + std::string.
  char text[INET6_ADDRSTRLEN + 16] = {};
  if (address.family() == AF_INET) {
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(&address.storage);
    inet_ntop(AF_INET, &ipv4->sin_addr, host, sizeof host);
    std::snprintf(text, sizeof text, "%s:%u", host, unsigned{ntohs(ipv4->sin_port)});
    return text;
  }
  if (address.family() == AF_INET6) {
    const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(&address.storage);
    inet_ntop(AF_INET6, &ipv6->sin6_addr, host, sizeof host);
    std::snprintf(text, sizeof text, "[%s]:%u", host, unsigned{ntohs(ipv6->sin6_port)});
    return text;
  }
  return "?";
}

SocketFd OpenSocket(int family, int socketType) {
  return SocketFd(socket(family, socketType | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

int MillisecondsLeft(const NetworkClock::time_point* deadline) {
  if (deadline == nullptr) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - NetworkClock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left.count());
}

std::string ErrorText(int error) {
  char buffer[256] = {};
  // The GNU strerror_r answers the text, which may or may not be `buffer`.
  return strerror_r(error, buffer, sizeof buffer);
}

int WaitFor(int fd, short events, const NetworkClock::time_point* deadline) {
  for (;;) {
    pollfd wait = {fd, events, 0};
    const int ready = poll(&wait, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    return ready < 0 ? -1 : ready;
  }
}

SocketFd ConnectStream(const SocketAddress& peer, NetworkClock::time_point deadline,
                       int& errorCode) {
  SocketFd stream = OpenSocket(peer.family(), SOCK_STREAM);
  if (!stream.valid()) {
    errorCode = errno;
    return SocketFd();
  }
  if (connect(stream.get(), reinterpret_cast<const sockaddr*>(&peer.storage), peer.length) != 0 &&
      errno != EINPROGRESS) {
    errorCode = errno;
    return SocketFd();
  }
  if (WaitFor(stream.get(), POLLOUT, &deadline) <= 0) {
    errorCode = ETIMEDOUT;
    return SocketFd();
  }
  int pending = 0;
  socklen_t size = sizeof pending;
  getsockopt(stream.get(), SOL_SOCKET, SO_ERROR, &pending, &size);
  if (pending != 0) {
    errorCode = pending;
    return SocketFd();
  }
  return stream;
}
