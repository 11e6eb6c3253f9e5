// Small helpers over POSIX sockets for the network authenticators: name
// resolution, a file descriptor that closes itself, and waits with a
// deadline on the steady clock.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

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

using NetworkClock = std::chrono::steady_clock;

// Every address of HOST for `socketType` (SOCK_DGRAM or SOCK_STREAM), in the
// resolver's order. A name goes to the resolver on a thread of its own that
// is abandoned at `deadline`: a slow resolver cannot hold the caller past it.
// False with `error` the resolver's reason ("Name or service not known") or
// that it did not answer in time.
bool ResolveAddresses(const std::string& host, uint16_t port, int socketType,
                      NetworkClock::time_point deadline, std::vector<SocketAddress>& out,
                      std::string& error);

// Whether `a` and `b` are the same address and port.
bool SameEndpoint(const SocketAddress& a, const SocketAddress& b);

// Whether `address` is in 127.0.0.0/8 or is ::1.
bool IsLoopback(const SocketAddress& address);

// "127.0.0.1:8111" or "[::1]:8111"; "?" for other families.
std::string FormatAddress(const SocketAddress& address);

// A non-blocking socket, closed on exec.
SocketFd OpenSocket(int family, int socketType);

// Milliseconds left until `deadline` (0 when past), or -1 for no deadline.
int MillisecondsLeft(const NetworkClock::time_point* deadline);

// The text of an errno value, like strerror, safe to call from any thread.
std::string ErrorText(int error);

// Waits until `fd` is ready for `events`; 1 ready, 0 time-out, -1 failure.
int WaitFor(int fd, short events, const NetworkClock::time_point* deadline);

// A connected stream to `peer` by `deadline`; invalid with the errno value.
SocketFd ConnectStream(const SocketAddress& peer, NetworkClock::time_point deadline,
                       int& errorCode);
