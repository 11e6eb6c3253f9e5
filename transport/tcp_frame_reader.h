// Cuts the byte stream of a TCP authenticator into CTAPHID packets. Each
// packet travels after its length, two bytes, high byte first:
//
//   [0..1] length n   [2..n+1] the packet
//
// Frames of any length but 64 are not packets: they are skipped whole. Pure
// code, fed whatever the socket gave, so it is tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

constexpr size_t NETWORK_PACKET_SIZE = 64;

class TcpFrameReader {
 public:
  void Feed(const uint8_t* data, size_t length);
  // Takes the oldest complete packet; false when none is complete yet.
  bool Next(uint8_t packet[NETWORK_PACKET_SIZE]);

  size_t skippedFrames() const { return skippedFrames_; }
  // True while a frame has begun but not ended.
  bool midFrame() const { return headerBytes_ != 0 || remaining_ != 0; }

 private:
  struct Packet {
    uint8_t bytes[NETWORK_PACKET_SIZE];
  };

  uint8_t header_[2] = {0, 0};
  size_t headerBytes_ = 0;
  size_t remaining_ = 0;  // bytes of the current frame still to come
  bool keep_ = false;     // the current frame is a packet
  Packet current_{};
  std::deque<Packet> ready_;
  size_t skippedFrames_ = 0;
};
