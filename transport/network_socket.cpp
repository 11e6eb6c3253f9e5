#include "transport/network_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

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

bool ResolveAddress(const std::string& host, uint16_t port, int socketType, SocketAddress& out,
                    std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = socketType;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int result = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (result != 0 || found == nullptr) {
    error = "cannot resolve " + host + ": " + gai_strerror(result);
    return false;
  }
  std::memcpy(&out.storage, found->ai_addr, found->ai_addrlen);
  out.length = found->ai_addrlen;
  freeaddrinfo(found);
  return true;
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
