// The simulated key's side of CTAPHID framing, written apart from the
// transport's framing on purpose: a fault there must not be mirrored here.
//
//   initialisation packet            continuation packet
//   [0..3]  channel id               [0..3]  channel id
//   [4]     command, bit 7 set       [4]     sequence 0, 1, 2, ...
//   [5..6]  length, high byte first  [5..63] up to 59 message bytes
//   [7..63] up to 57 message bytes
//
// On the wire each packet follows the report id byte 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

constexpr size_t SIM_PACKET_SIZE = 64;
constexpr size_t SIM_INIT_DATA = 57;
constexpr size_t SIM_CONT_DATA = 59;
// One initialisation packet and continuation packets 0 to 127.
constexpr size_t SIM_MAX_MESSAGE = SIM_INIT_DATA + 128 * SIM_CONT_DATA;  // 7609
constexpr uint32_t SIM_BROADCAST_CHANNEL = 0xFFFFFFFF;

constexpr uint8_t SIM_CMD_PING = 0x81;
constexpr uint8_t SIM_CMD_MSG = 0x83;
constexpr uint8_t SIM_CMD_INIT = 0x86;
constexpr uint8_t SIM_CMD_WINK = 0x88;
constexpr uint8_t SIM_CMD_CBOR = 0x90;
constexpr uint8_t SIM_CMD_CANCEL = 0x91;
constexpr uint8_t SIM_CMD_KEEPALIVE = 0xBB;
constexpr uint8_t SIM_CMD_ERROR = 0xBF;

constexpr uint8_t SIM_ERR_INVALID_CMD = 0x01;
constexpr uint8_t SIM_ERR_INVALID_LEN = 0x03;
constexpr uint8_t SIM_ERR_INVALID_SEQ = 0x04;
constexpr uint8_t SIM_ERR_CHANNEL_BUSY = 0x06;
constexpr uint8_t SIM_ERR_INVALID_CHANNEL = 0x0B;

// Report id 0 followed by one 64-byte packet.
using SimReport = std::vector<uint8_t>;

uint32_t SimReadChannel(const uint8_t* bytes);
void SimWriteChannel(uint32_t channel, uint8_t* bytes);

struct SimFrameOptions {
  uint8_t firstSequence = 0;    // 1 for a key that numbers continuation packets wrongly
  bool initPacketOnly = false;  // drop the continuation packets
};

// Appends the reports that carry one message to `out`. `payload` holds at
// most SIM_MAX_MESSAGE bytes.
void SimFrameMessage(uint32_t channel, uint8_t command, const std::vector<uint8_t>& payload,
                     const SimFrameOptions& options, std::deque<SimReport>& out);

// What one written packet completed.
struct SimPacketEvent {
  enum class Kind { kNothing, kMessage, kError };
  Kind kind = Kind::kNothing;
  uint32_t channel = 0;
  uint8_t command = 0;  // the message's command, or the CTAPHID error code
  std::vector<uint8_t> payload;
};

// Reassembles request messages, one at a time, from written packets.
class SimMessageAssembler {
 public:
  SimPacketEvent Feed(const uint8_t packet[SIM_PACKET_SIZE]);

 private:
  bool active_ = false;
  uint32_t channel_ = 0;
  uint8_t command_ = 0;
  size_t length_ = 0;
  uint8_t nextSequence_ = 0;
  std::vector<uint8_t> data_;
};
