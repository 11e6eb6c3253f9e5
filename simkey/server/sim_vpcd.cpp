#include "simkey/server/sim_vpcd.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "simkey/server/sim_paced_clock.h"
#include "simkey/sim_card.h"
#include "transport/network_socket.h"

namespace {

constexpr int kIdleWaitMs = 200;
constexpr int kRetryMs = 500;
constexpr int kConnectMs = 1000;

bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent > 0) {
      done += static_cast<size_t>(sent);
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
      const NetworkClock::time_point deadline = NetworkClock::now() + std::chrono::seconds(1);
      if (WaitFor(fd, POLLOUT, &deadline) > 0) continue;
    }
    return false;
  }
  return true;
}

}  // namespace

struct SimVpcd::State {
  State(SimDeviceConfig config, const SimServerEndpoint& endpoint)
      : endpoint(endpoint), card(std::move(config), clock) {}

  SimServerEndpoint endpoint;
  SimPacedClock clock;
  SimCard card;
  SocketFd link;
  std::vector<uint8_t> stream;  // bytes not yet a whole message

  // Keep-alives carry simulated time ahead; the answer waits for real time.
  void WaitForClock() {
    const uint64_t real = clock.RealMs();
    if (clock.NowMs() > real) {
      std::this_thread::sleep_for(std::chrono::milliseconds(clock.NowMs() - real));
    }
  }

  bool Connect(std::string& error) {
    const NetworkClock::time_point deadline =
        NetworkClock::now() + std::chrono::milliseconds(kConnectMs);
    std::vector<SocketAddress> peers;
    if (!ResolveAddresses(endpoint.host, endpoint.port, SOCK_STREAM, deadline, peers, error)) {
      return false;
    }
    for (const SocketAddress& peer : peers) {
      int code = 0;
      link = ConnectStream(peer, deadline, code);
      if (link.valid()) break;
    }
    if (link.valid()) {
      stream.clear();
      card.Control(SIM_CARD_POWER_OFF);
    }
    return true;
  }

  void Answer(const uint8_t* message, size_t length) {
    clock.CatchUp();
    const std::vector<uint8_t> answer =
        length == 1 ? card.Control(message[0])
                    : card.Transmit(std::vector<uint8_t>(message, message + length));
    if (answer.empty()) return;  // a control, or a card that stays silent
    WaitForClock();
    std::vector<uint8_t> frame = {static_cast<uint8_t>(answer.size() >> 8),
                                  static_cast<uint8_t>(answer.size())};
    frame.insert(frame.end(), answer.begin(), answer.end());
    if (!SendAll(link.get(), frame)) link = SocketFd();
  }

  void Take() {
    uint8_t bytes[4096];
    const ssize_t got = recv(link.get(), bytes, sizeof bytes, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
      link = SocketFd();  // the reader went away: the card is off
      card.Control(SIM_CARD_POWER_OFF);
      return;
    }
    stream.insert(stream.end(), bytes, bytes + got);
    size_t at = 0;
    while (link.valid() && stream.size() - at >= 2) {
      const size_t length = (static_cast<size_t>(stream[at]) << 8) | stream[at + 1];
      if (stream.size() - at - 2 < length) break;
      if (length > 0) Answer(&stream[at + 2], length);
      at += 2 + length;
    }
    if (!link.valid()) {
      stream.clear();
      return;
    }
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(at));
  }
};

SimVpcd::SimVpcd(SimDeviceConfig device, const SimServerEndpoint& vpcd)
    : state_(std::make_unique<State>(std::move(device), vpcd)) {}

SimVpcd::~SimVpcd() = default;

bool SimVpcd::Run(volatile const int& stop, std::string& error) {
  State& s = *state_;
  while (stop == 0) {
    if (!s.link.valid()) {
      if (!s.Connect(error)) return false;
      if (!s.link.valid()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
        continue;
      }
    }
    const NetworkClock::time_point deadline =
        NetworkClock::now() + std::chrono::milliseconds(kIdleWaitMs);
    const int ready = WaitFor(s.link.get(), POLLIN, &deadline);
    if (ready < 0) {
      s.link = SocketFd();
    } else if (ready > 0) {
      s.Take();
    }
  }
  return true;
}
