#include "transport/tcp_frame_reader.h"

#include <algorithm>
#include <cstring>

void TcpFrameReader::Feed(const uint8_t* data, size_t length) {
  size_t at = 0;
  while (at < length) {
    if (remaining_ == 0) {
      header_[headerBytes_++] = data[at++];
      if (headerBytes_ < 2) continue;
      headerBytes_ = 0;
      remaining_ = (static_cast<size_t>(header_[0]) << 8) | header_[1];
      keep_ = remaining_ == NETWORK_PACKET_SIZE;
      if (remaining_ == 0) ++skippedFrames_;
      continue;
    }
    const size_t take = std::min(remaining_, length - at);
    if (keep_) {
      std::memcpy(current_.bytes + (NETWORK_PACKET_SIZE - remaining_), data + at, take);
    }
    at += take;
    remaining_ -= take;
    if (remaining_ == 0) {
      if (keep_) {
        ready_.push_back(current_);
      } else {
        ++skippedFrames_;
      }
    }
  }
}

bool TcpFrameReader::Next(uint8_t packet[NETWORK_PACKET_SIZE]) {
  if (ready_.empty()) return false;
  std::memcpy(packet, ready_.front().bytes, NETWORK_PACKET_SIZE);
  ready_.pop_front();
  return true;
}
