// An arbitrary byte stream from a TCP authenticator, cut into pieces as
// recv might hand them over: the reader must never read past a piece, and
// every packet it gives must be a whole 64-byte frame of the stream.
#include <cstdint>
#include <cstring>
#include <vector>

#include "transport/tcp_frame_reader.h"

namespace {

// The packets of `stream` read the simple way, all at once.
std::vector<std::vector<uint8_t>> Expected(const uint8_t* stream, size_t size) {
  std::vector<std::vector<uint8_t>> packets;
  size_t at = 0;
  while (size - at >= 2) {
    const size_t length = (static_cast<size_t>(stream[at]) << 8) | stream[at + 1];
    if (size - at - 2 < length) break;
    if (length == NETWORK_PACKET_SIZE) packets.emplace_back(stream + at + 2, stream + at + 66);
    at += 2 + length;
  }
  return packets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the piece sizes; the rest is the stream.
  const size_t step = 1 + data[0] % 97;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;

  TcpFrameReader reader;
  std::vector<std::vector<uint8_t>> got;
  for (size_t at = 0; at < length; at += step) {
    const size_t piece = length - at < step ? length - at : step;
    // An exact-size copy so that a read past the piece is caught.
    const std::vector<uint8_t> bytes(stream + at, stream + at + piece);
    reader.Feed(bytes.data(), bytes.size());
    uint8_t packet[NETWORK_PACKET_SIZE];
    while (reader.Next(packet)) got.emplace_back(packet, packet + NETWORK_PACKET_SIZE);
  }
  if (got != Expected(stream, length)) __builtin_trap();
  return 0;
}
