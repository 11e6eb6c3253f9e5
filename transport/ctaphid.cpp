#include "transport/ctaphid.h"

#include <algorithm>
#include <cstring>

size_t CtaphidPacketCount(size_t length) {
  if (length <= CTAPHID_INIT_PAYLOAD) return 1;
  return 1 + (length - CTAPHID_INIT_PAYLOAD + CTAPHID_CONT_PAYLOAD - 1) / CTAPHID_CONT_PAYLOAD;
}

size_t CtaphidFillPacket(uint8_t* report, const uint8_t channelId[4], uint8_t command,
                         const uint8_t* message, size_t length, size_t index) {
  std::memset(report, 0, CTAPHID_REPORT_LENGTH);
  if (index >= CtaphidPacketCount(length)) return 0;
  std::memcpy(report + 1, channelId, 4);
  if (index == 0) {
    report[5] = command;
    report[6] = static_cast<uint8_t>(length >> 8);
    report[7] = static_cast<uint8_t>(length);
    const size_t chunk = std::min(length, CTAPHID_INIT_PAYLOAD);
    if (chunk > 0) std::memcpy(report + 8, message, chunk);
    return chunk;
  }
  report[5] = static_cast<uint8_t>(index - 1);
  const size_t offset = CTAPHID_INIT_PAYLOAD + (index - 1) * CTAPHID_CONT_PAYLOAD;
  const size_t chunk = std::min(length - offset, CTAPHID_CONT_PAYLOAD);
  std::memcpy(report + 6, message + offset, chunk);
  return chunk;
}

CtaphidReassembler::CtaphidReassembler(const uint8_t channelId[4], uint8_t* buffer,
                                       uint32_t capacity)
    : buffer_(buffer), capacity_(capacity) {
  std::memcpy(channelId_, channelId, 4);
}

CtaphidFeed CtaphidReassembler::Feed(const uint8_t* report, size_t length) {
  // Report id, channel id and the command or sequence byte at least.
  if (length < 6 || std::memcmp(report + 1, channelId_, 4) != 0) return CtaphidFeed::kSkipped;
  const uint8_t kind = report[5];

  if (!started_) {
    if ((kind & 0x80) == 0) return CtaphidFeed::kSkipped;  // stray continuation packet
    if (kind == CTAPHID_KEEPALIVE) return CtaphidFeed::kKeepAlive;
    if (length < 8) return CtaphidFeed::kSkipped;
    const uint32_t announced = (static_cast<uint32_t>(report[6]) << 8) | report[7];
    if (announced == 0) return CtaphidFeed::kKeepAlive;
    if (announced > capacity_ || announced > CTAPHID_MAX_MESSAGE) return CtaphidFeed::kTooLong;
    started_ = true;
    command_ = kind;
    messageLength_ = announced;
    const uint32_t chunk = static_cast<uint32_t>(
        std::min<size_t>({static_cast<size_t>(announced), CTAPHID_INIT_PAYLOAD, length - 8}));
    std::memcpy(buffer_, report + 8, chunk);
    received_ = chunk;
    // A report shorter than the packet cannot carry the rest of the payload
    // it announces in its first 57 bytes.
    if (chunk < std::min<uint32_t>(announced, CTAPHID_INIT_PAYLOAD)) return CtaphidFeed::kBroken;
    return received_ == messageLength_ ? CtaphidFeed::kDone : CtaphidFeed::kMore;
  }

  if (kind & 0x80) return CtaphidFeed::kBroken;  // a new message before ours ended
  if (kind != nextSequence_) return CtaphidFeed::kBroken;
  ++nextSequence_;
  const uint32_t remaining = messageLength_ - received_;
  const uint32_t wanted = std::min<uint32_t>(remaining, CTAPHID_CONT_PAYLOAD);
  if (length < 6 + static_cast<size_t>(wanted)) return CtaphidFeed::kBroken;
  std::memcpy(buffer_ + received_, report + 6, wanted);
  received_ += wanted;
  return received_ == messageLength_ ? CtaphidFeed::kDone : CtaphidFeed::kMore;
}
