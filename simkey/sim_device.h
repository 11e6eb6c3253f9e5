// One simulated HID interface and the key behind it, answering at the CTAPHID
// level like a real key's firmware: channel allocation, messages of any
// length in both directions, keep-alives while it waits for a touch, and the
// faults of SimMisbehaviour. It records what it was sent for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "simkey/sim_answers.h"
#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "simkey/sim_packets.h"

// Channel ids are handed out in order: the n-th allocation of a device
// (counting from 0) gets SIMKEY_FIRST_CHANNEL + n.
constexpr uint32_t SIMKEY_FIRST_CHANNEL = 0x0C0FFEE0;
// Where misbehaving replies go that are not on the requester's channel.
constexpr uint32_t SIMKEY_FOREIGN_CHANNEL = 0x0BADF00D;
// The channel id in an INIT reply whose nonce is wrong; never allocated.
constexpr uint32_t SIMKEY_BOGUS_CHANNEL = 0xDEADBEEF;
// Simulated time each keep-alive stands for.
constexpr uint32_t SIMKEY_KEEPALIVE_INTERVAL_MS = 100;
// A broken answer announces this many bytes: more than the initialisation
// packet carries, so that a continuation packet follows, numbered 1 instead
// of 0.
constexpr size_t SIMKEY_BROKEN_REPLY_LENGTH = 100;
// A blocking read (negative time-out) on a silent key gives up after this
// much simulated time rather than hanging the test.
constexpr uint32_t SIMKEY_BLOCKING_READ_MS = 1000;

class SimDevice {
 public:
  struct Message {
    uint8_t channel[4];
    uint8_t command;
    std::vector<uint8_t> payload;
  };

  // The configuration stays changeable while the device runs: tests write
  // device.config.misbehave.silent = true, and config() reads it.
  struct LiveConfig : SimDeviceConfig {
    explicit LiveConfig(SimDeviceConfig initial) : SimDeviceConfig(std::move(initial)) {}
    SimDeviceConfig& operator()() { return *this; }
    const SimDeviceConfig& operator()() const { return *this; }
  };

  SimDevice(SimDeviceConfig config, SimClock& clock);
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  LiveConfig config;

  // Recordings.
  std::vector<std::vector<uint8_t>> writtenReports;  // every report written, as written
  std::vector<Message> receivedMessages;             // every request message completed
  uint32_t initCount = 0;                            // INIT requests received
  size_t reportsDelivered = 0;                       // reports handed out by Read
  size_t opens = 0;                                  // platform opens tried

  // For the next request message (not INIT) on an allocated channel: deliver
  // exactly `reports` instead of the answer, then nothing. With
  // `stampChannel`, report bytes 1..4 become the requester's channel id.
  void QueueRawReports(std::vector<std::vector<uint8_t>> reports, bool stampChannel);

  // The device's side of HidPlatform::Write and HidPlatform::Read.
  int Write(const uint8_t* report, size_t length);
  int Read(uint8_t* report, size_t length, int timeoutMs);

  // True while a reply waits for a touch (or for ever): reads then hand out
  // keep-alives.
  bool holdsReply() const { return held_.active; }

  // The key went away by its goneAfterReports switch.
  bool gone() const {
    return config.misbehave.goneAfterReports != 0 &&
           reportsDelivered >= config.misbehave.goneAfterReports;
  }

  bool plugged() const { return plugged_; }
  void Unplug() { plugged_ = false; }

 private:
  // A reply held back while the key waits for a touch, or for ever.
  struct HeldReply {
    bool active = false;
    bool forever = false;
    uint32_t channel = 0;
    uint64_t readyAtMs = 0;
    uint8_t keepAliveStatus = 0;
    uint8_t command = 0;
    std::vector<uint8_t> payload;
    bool processingSent = false;
  };

  void OnMessage(uint32_t channel, uint8_t command, std::vector<uint8_t> payload);
  void OnInit(uint32_t channel, const std::vector<uint8_t>& nonce);
  void OnCancel(uint32_t channel);
  bool Allocated(uint32_t channel) const;
  bool WaitsForTouch(uint8_t command, const std::vector<uint8_t>& payload) const;
  // Queues a reply with the faults that shape replies.
  void Reply(uint32_t channel, uint8_t command, std::vector<uint8_t> payload);
  // Queues one message as it is, in reports of the input report length.
  void Send(uint32_t channel, uint8_t command, const std::vector<uint8_t>& payload,
            const SimFrameOptions& options = {});
  void SendError(uint32_t channel, uint8_t code) { Send(channel, SIM_CMD_ERROR, {code}); }
  // A reply that no host can reassemble (SimAnswer::Kind::kBroken).
  void SendBroken(uint32_t channel, uint8_t command);
  int Deliver(const SimReport& source, uint8_t* report, size_t length);

  SimClock& clock_;
  bool plugged_ = true;
  SimMessageAssembler assembler_;
  SimAnswers answers_;
  std::vector<uint32_t> channels_;
  std::deque<SimReport> output_;
  HeldReply held_;
  bool rawPending_ = false;
  bool stampRaw_ = false;
  std::vector<std::vector<uint8_t>> rawReports_;
};
