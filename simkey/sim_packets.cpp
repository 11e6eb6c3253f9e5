#include "simkey/sim_packets.h"

#include <algorithm>

namespace {

SimPacketEvent Error(uint32_t channel, uint8_t code) {
  SimPacketEvent event;
  event.kind = SimPacketEvent::Kind::kError;
  event.channel = channel;
  event.command = code;
  return event;
}

SimPacketEvent Message(uint32_t channel, uint8_t command, std::vector<uint8_t> payload) {
  SimPacketEvent event;
  event.kind = SimPacketEvent::Kind::kMessage;
  event.channel = channel;
  event.command = command;
  event.payload = std::move(payload);
  return event;
}

}  // namespace

uint32_t SimReadChannel(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

void SimWriteChannel(uint32_t channel, uint8_t* bytes) {
  bytes[0] = static_cast<uint8_t>(channel >> 24);
  bytes[1] = static_cast<uint8_t>(channel >> 16);
  bytes[2] = static_cast<uint8_t>(channel >> 8);
  bytes[3] = static_cast<uint8_t>(channel);
}

void SimFrameMessage(uint32_t channel, uint8_t command, const std::vector<uint8_t>& payload,
                     const SimFrameOptions& options, std::deque<SimReport>& out) {
  const size_t length = std::min(payload.size(), SIM_MAX_MESSAGE);
  SimReport first(1 + SIM_PACKET_SIZE, 0);
  SimWriteChannel(channel, &first[1]);
  first[5] = command;
  first[6] = static_cast<uint8_t>(length >> 8);
  first[7] = static_cast<uint8_t>(length);
  size_t sent = std::min(length, SIM_INIT_DATA);
  std::copy_n(payload.begin(), sent, first.begin() + 8);
  out.push_back(std::move(first));
  if (options.initPacketOnly) return;

  uint8_t sequence = options.firstSequence;
  while (sent < length) {
    SimReport next(1 + SIM_PACKET_SIZE, 0);
    SimWriteChannel(channel, &next[1]);
    next[5] = sequence++;
    const size_t chunk = std::min(length - sent, SIM_CONT_DATA);
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(sent), chunk, next.begin() + 6);
    sent += chunk;
    out.push_back(std::move(next));
  }
}

SimPacketEvent SimMessageAssembler::Feed(const uint8_t packet[SIM_PACKET_SIZE]) {
  const uint32_t channel = SimReadChannel(packet);
  if ((packet[4] & 0x80) == 0) {
    // Continuation packets that belong to no message in progress are ignored.
    if (!active_ || channel != channel_) return {};
    if (packet[4] != nextSequence_) {
      active_ = false;
      return Error(channel, SIM_ERR_INVALID_SEQ);
    }
    ++nextSequence_;
    const size_t chunk = std::min(length_ - data_.size(), SIM_CONT_DATA);
    data_.insert(data_.end(), packet + 5, packet + 5 + chunk);
    if (data_.size() < length_) return {};
    active_ = false;
    return Message(channel_, command_, std::move(data_));
  }

  const uint8_t command = packet[4];
  const size_t length = (size_t{packet[5]} << 8) | packet[6];
  if (active_ && channel != channel_) {
    // Another application may allocate a channel in the middle of our message.
    if (command == SIM_CMD_INIT && length <= SIM_INIT_DATA) {
      return Message(channel, command, std::vector<uint8_t>(packet + 7, packet + 7 + length));
    }
    return Error(channel, SIM_ERR_CHANNEL_BUSY);
  }
  if (active_ && command != SIM_CMD_INIT) {
    active_ = false;
    return Error(channel, SIM_ERR_INVALID_SEQ);
  }
  active_ = false;  // an INIT on our own channel abandons the message
  if (length > SIM_MAX_MESSAGE) return Error(channel, SIM_ERR_INVALID_LEN);

  const size_t chunk = std::min(length, SIM_INIT_DATA);
  data_.assign(packet + 7, packet + 7 + chunk);
  if (chunk == length) return Message(channel, command, std::move(data_));
  channel_ = channel;
  command_ = command;
  length_ = length;
  nextSequence_ = 0;
  active_ = true;
  return {};
}
