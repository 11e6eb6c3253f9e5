// CTAPHID framing: 64-byte packets behind a report id byte.
//
//   initialisation packet            continuation packet
//   [0]    report id 0               [0]    report id 0
//   [1..4] channel id                [1..4] channel id
//   [5]    command | 0x80            [5]    sequence 0..127
//   [6..7] message length, high first [6..64] up to 59 payload bytes
//   [8..64] up to 57 payload bytes
//
// Pure code: no I/O, so it is tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint8_t CTAPHID_INIT = 0x86;
constexpr uint8_t CTAPHID_MSG = 0x83;
constexpr uint8_t CTAPHID_CBOR = 0x90;
constexpr uint8_t CTAPHID_ERROR = 0xBF;
constexpr uint8_t CTAPHID_KEEPALIVE = 0xBB;

constexpr size_t CTAPHID_REPORT_LENGTH = 65;  // report id + 64-byte packet
constexpr size_t CTAPHID_INIT_PAYLOAD = 57;
constexpr size_t CTAPHID_CONT_PAYLOAD = 59;
constexpr size_t CTAPHID_MAX_SEQUENCE = 127;
// The longest message the framing can carry: one initialisation packet and
// 128 continuation packets.
constexpr size_t CTAPHID_MAX_MESSAGE = CTAPHID_INIT_PAYLOAD + 128 * CTAPHID_CONT_PAYLOAD;
constexpr uint8_t CTAPHID_NONCE_LENGTH = 8;
// INIT reply payload: nonce (8), channel id (4), protocol version, three
// version bytes, capabilities.
constexpr size_t CTAPHID_INIT_REPLY_LENGTH = 17;

// Number of packets that carry a message of `length` bytes (at least one).
size_t CtaphidPacketCount(size_t length);

// Writes packet `index` (0 = initialisation packet) of `message` into
// `report`, which holds at least CTAPHID_REPORT_LENGTH bytes and is zeroed
// here first. Answers the payload bytes the packet carries, or 0 when `index`
// is past the last packet.
size_t CtaphidFillPacket(uint8_t* report, const uint8_t channelId[4], uint8_t command,
                         const uint8_t* message, size_t length, size_t index);

// What one received report means for a reply being reassembled.
enum class CtaphidFeed {
  kSkipped,    // another channel, or a stray continuation packet: ignore it
  kKeepAlive,  // keep-alive (or an initialisation packet announcing length 0)
  kMore,       // part of our reply; more packets follow
  kDone,       // the reply is complete
  kTooLong,    // the reply announces more bytes than the capacity
  kBroken,     // a packet out of sequence or a new message in the middle
};

// Reassembles one reply on a channel into a caller's buffer, never writing
// past its capacity and never reading past the bytes of a report.
class CtaphidReassembler {
 public:
  CtaphidReassembler(const uint8_t channelId[4], uint8_t* buffer, uint32_t capacity);

  // `report` holds `length` bytes as read, report id first.
  CtaphidFeed Feed(const uint8_t* report, size_t length);

  uint8_t command() const { return command_; }
  uint32_t messageLength() const { return messageLength_; }

 private:
  uint8_t channelId_[4];
  uint8_t* buffer_;
  uint32_t capacity_;
  bool started_ = false;
  uint8_t command_ = 0;
  uint32_t messageLength_ = 0;
  uint32_t received_ = 0;
  uint8_t nextSequence_ = 0;
};
