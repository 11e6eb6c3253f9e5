// Small helpers over POSIX sockets for the network authenticators: name
// resolution, a file descriptor that closes itself, and waits with a
// deadline on the steady clock.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>

class SocketFd {
 public:
  SocketFd() = default;
  explicit SocketFd(int fd) : fd_(fd) {}
  SocketFd(SocketFd&& other) noexcept : fd_(other.release()) {}
  SocketFd& operator=(SocketFd&& other) noexcept;
  SocketFd(const SocketFd&) = delete;
  SocketFd& operator=(const SocketFd&) = delete;
  ~SocketFd();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family() const { return storage.ss_family; }
};

// The first address of HOST for `socketType` (SOCK_DGRAM or SOCK_STREAM);
// false with the resolver's reason in `error`.
bool ResolveAddress(const std::string& host, uint16_t port, int socketType, SocketAddress& out,
                    std::string& error);

// "127.0.0.1:8111" or "[::1]:8111"; "?" for other families.
std::string FormatAddress(const SocketAddress& address);

// A non-blocking socket, closed on exec.
SocketFd OpenSocket(int family, int socketType);

using NetworkClock = std::chrono::steady_clock;

// Milliseconds left until `deadline` (0 when past), or -1 for no deadline.
int MillisecondsLeft(const NetworkClock::time_point* deadline);

// The text of an errno value, like strerror, safe to call from any thread.
std::string ErrorText(int error);
