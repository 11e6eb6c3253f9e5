#include "simkey/server/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "simkey/server/sim_paced_clock.h"
#include "simkey/sim_device.h"
#include "transport/network_socket.h"

namespace {

constexpr size_t kPacket = 64;
constexpr size_t kReport = kPacket + 1;
// Simulated time a keep-alive stands for, in real time here too.
constexpr uint64_t kKeepAliveMs = 100;
constexpr int kIdleWaitMs = 200;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Fd() { Reset(); }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

std::string Text(int error) { return std::strerror(error); }

bool Resolve(const std::string& host, uint16_t port, int type, sockaddr_storage& out,
             socklen_t& length, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = type;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (result != 0 || found == nullptr) {
    error = "cannot resolve " + host + ": " + gai_strerror(result);
    return false;
  }
  std::memcpy(&out, found->ai_addr, found->ai_addrlen);
  length = found->ai_addrlen;
  freeaddrinfo(found);
  return true;
}

std::string Describe(const sockaddr_storage& address) {
  SocketAddress bound;
  bound.storage = address;
  return FormatAddress(bound);
}

// A socket bound to HOST:PORT; `bound` receives the address really bound.
Fd Bind(const SimServerEndpoint& endpoint, int type, sockaddr_storage& bound, std::string& error) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!Resolve(endpoint.host, endpoint.port, type, address, length, error)) return Fd();
  Fd fd(socket(address.ss_family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    error = "socket: " + Text(errno);
    return Fd();
  }
  if (type == SOCK_STREAM) {
    const int on = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    error = "cannot listen on " + Describe(address) + ": " + Text(errno);
    return Fd();
  }
  if (type == SOCK_STREAM && listen(fd.get(), 4) != 0) {
    error = "listen: " + Text(errno);
    return Fd();
  }
  socklen_t boundLength = sizeof bound;
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &boundLength);
  return fd;
}

}  // namespace

struct SimServer::State {
  explicit State(SimDeviceConfig config, const SimServerOptions& options)
      : options(options), device(Prepare(std::move(config)), clock) {}

  static SimDeviceConfig Prepare(SimDeviceConfig config) {
    // A packet on the network is 64 bytes; the device takes it behind report
    // id 0 as from a standard FIDO interface.
    config.inputReportLength = kReport;
    config.outputReportLength = kReport;
    return config;
  }

  enum class Source { kNone, kUdp, kTcp };

  SimServerOptions options;
  SimPacedClock clock;
  SimDevice device;
  Fd udp;
  sockaddr_storage udpBound{};
  sockaddr_storage replyTo{};
  socklen_t replyToLength = 0;
  Fd listener;
  sockaddr_storage tcpBound{};
  Fd client;
  std::vector<uint8_t> stream;  // bytes of the client not yet a whole frame
  Source lastSource = Source::kNone;

  void Feed(const uint8_t* packet, Source source) {
    lastSource = source;
    uint8_t report[kReport] = {0};
    std::memcpy(report + 1, packet, kPacket);
    clock.CatchUp();
    device.Write(report, sizeof report);
  }

  void SendPacket(const uint8_t* packet) {
    if (lastSource == Source::kUdp) {
      sendto(udp.get(), packet, kPacket, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&replyTo),
             replyToLength);
    } else if (lastSource == Source::kTcp && client.valid()) {
      uint8_t frame[2 + kPacket] = {0, static_cast<uint8_t>(kPacket)};
      std::memcpy(frame + 2, packet, kPacket);
      size_t done = 0;
      while (done < sizeof frame) {
        const ssize_t sent = send(client.get(), frame + done, sizeof frame - done, MSG_NOSIGNAL);
        if (sent > 0) {
          done += static_cast<size_t>(sent);
          continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
          pollfd wait = {client.get(), POLLOUT, 0};
          if (poll(&wait, 1, 1000) > 0) continue;
        }
        // A host that does not read its answers loses its connection.
        client.Reset();
        stream.clear();
        return;
      }
    }
  }

  // Hands out every report the device has ready, and the keep-alive or the
  // released reply of a wait for a touch once its time has come.
  void Drain() {
    uint8_t report[kReport];
    for (;;) {
      clock.CatchUp();
      int got = device.Read(report, sizeof report, 0);
      if (got <= 0 && device.holdsReply() && clock.NowMs() <= clock.RealMs()) {
        got = device.Read(report, sizeof report, 1);
      }
      if (got < 0 && device.gone()) {
        // A key pulled out: its host's connection goes with it.
        client.Reset();
        stream.clear();
      }
      if (got <= 0) return;
      if (static_cast<size_t>(got) == kReport) SendPacket(report + 1);
    }
  }

  // Milliseconds until the device has something to send; an idle server
  // still looks up now and then, so a stop asked from another thread is seen.
  int NextWaitMs() {
    if (!device.holdsReply()) return kIdleWaitMs;
    const uint64_t real = clock.RealMs();
    const uint64_t due = clock.NowMs() > real ? clock.NowMs() - real : 0;
    return static_cast<int>(std::min<uint64_t>(due, kKeepAliveMs));
  }

  void TakeDatagrams() {
    for (;;) {
      uint8_t datagram[kPacket + 1];
      const ssize_t got = recv(udp.get(), datagram, sizeof datagram, MSG_TRUNC);
      if (got < 0) return;
      // Anything but one whole packet is not CTAPHID; a real key never sees it.
      if (got == static_cast<ssize_t>(kPacket)) Feed(datagram, Source::kUdp);
    }
  }

  void Accept() {
    Fd accepted(accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.valid()) return;
    const int on = 1;
    setsockopt(accepted.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // One host at a time: the newest connection wins.
    client = std::move(accepted);
    stream.clear();
  }

  void TakeStream() {
    uint8_t bytes[4096];
    const ssize_t got = recv(client.get(), bytes, sizeof bytes, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
      client.Reset();
      stream.clear();
      return;
    }
    stream.insert(stream.end(), bytes, bytes + got);
    size_t at = 0;
    while (stream.size() - at >= 2) {
      const size_t length = (static_cast<size_t>(stream[at]) << 8) | stream[at + 1];
      if (stream.size() - at - 2 < length) break;
      // Frames of another length are not packets and are dropped whole.
      if (length == kPacket) Feed(&stream[at + 2], Source::kTcp);
      at += 2 + length;
    }
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(at));
  }
};

SimServer::SimServer(SimDeviceConfig device, const SimServerOptions& options)
    : state_(std::make_unique<State>(std::move(device), options)) {}

SimServer::~SimServer() = default;

bool SimServer::Listen(std::string& error) {
  State& s = *state_;
  if (s.options.udp.enabled) {
    s.udp = Bind(s.options.udp, SOCK_DGRAM, s.udpBound, error);
    if (!s.udp.valid()) return false;
    // Replies go to the loopback address of the socket's family.
    if (s.udpBound.ss_family == AF_INET6) {
      auto& reply = reinterpret_cast<sockaddr_in6&>(s.replyTo);
      reply.sin6_family = AF_INET6;
      reply.sin6_addr = in6addr_loopback;
      reply.sin6_port = htons(s.options.udp.replyPort);
      s.replyToLength = sizeof reply;
    } else {
      auto& reply = reinterpret_cast<sockaddr_in&>(s.replyTo);
      reply.sin_family = AF_INET;
      reply.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      reply.sin_port = htons(s.options.udp.replyPort);
      s.replyToLength = sizeof reply;
    }
  }
  if (s.options.tcp.enabled) {
    s.listener = Bind(s.options.tcp, SOCK_STREAM, s.tcpBound, error);
    if (!s.listener.valid()) return false;
  }
  return true;
}

std::string SimServer::Addresses() const {
  const State& s = *state_;
  std::string text;
  if (s.udp.valid()) {
    text += "udp:" + Describe(s.udpBound) + ":" + std::to_string(s.options.udp.replyPort);
  }
  if (s.listener.valid()) {
    if (!text.empty()) text += " ";
    text += "tcp:" + Describe(s.tcpBound);
  }
  return text;
}

bool SimServer::Run(volatile const int& stop, std::string& error) {
  State& s = *state_;
  // The signals that stop the server only arrive inside the wait, so a stop
  // is never missed between the check and the wait.
  sigset_t stopSignals;
  sigset_t waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);

  while (stop == 0) {
    s.Drain();
    pollfd waits[3];
    nfds_t count = 0;
    const int udpIndex = s.udp.valid() ? static_cast<int>(count) : -1;
    if (s.udp.valid()) waits[count++] = {s.udp.get(), POLLIN, 0};
    const int listenIndex = s.listener.valid() ? static_cast<int>(count) : -1;
    if (s.listener.valid()) waits[count++] = {s.listener.get(), POLLIN, 0};
    const int clientIndex = s.client.valid() ? static_cast<int>(count) : -1;
    if (s.client.valid()) waits[count++] = {s.client.get(), POLLIN, 0};

    const int waitMs = s.NextWaitMs();
    timespec timeout{waitMs / 1000, (waitMs % 1000) * 1000000L};
    const int ready = ppoll(waits, count, &timeout, &waitMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      error = "poll: " + Text(errno);
      return false;
    }
    if (udpIndex >= 0 && (waits[udpIndex].revents & POLLIN) != 0) s.TakeDatagrams();
    if (listenIndex >= 0 && (waits[listenIndex].revents & POLLIN) != 0) s.Accept();
    if (clientIndex >= 0 && s.client.valid() && waits[clientIndex].fd == s.client.get() &&
        (waits[clientIndex].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      s.TakeStream();
    }
  }
  return true;
}
