#include "transport/tcp_frame_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(size_t length, uint8_t fill) {
  Bytes frame(2 + length, fill);
  frame[0] = static_cast<uint8_t>(length >> 8);
  frame[1] = static_cast<uint8_t>(length);
  return frame;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The stream fed in pieces of `step` bytes; answers the first byte of every
// packet that came out.
Bytes FirstBytes(const Bytes& stream, size_t step, TcpFrameReader& reader) {
  Bytes firsts;
  for (size_t at = 0; at < stream.size(); at += step) {
    reader.Feed(stream.data() + at, std::min(step, stream.size() - at));
    uint8_t packet[NETWORK_PACKET_SIZE];
    while (reader.Next(packet)) firsts.push_back(packet[0]);
  }
  return firsts;
}

TEST(TcpFrameReaderTest, CutsPacketsHoweverTheBytesArrive) {
  const Bytes stream = Join({Frame(64, 1), Frame(64, 2), Frame(64, 3)});
  for (size_t step : {1u, 2u, 3u, 65u, 66u, 67u, 200u}) {
    TcpFrameReader reader;
    EXPECT_EQ(FirstBytes(stream, step, reader), (Bytes{1, 2, 3})) << "step " << step;
    EXPECT_FALSE(reader.midFrame());
  }
}

TEST(TcpFrameReaderTest, SkipsFramesOfOtherLengthsWhole) {
  // A frame of 0, of 10 and of 300 bytes: none is a packet, and their bytes
  // are not taken for headers.
  const Bytes stream =
      Join({Frame(0, 9), Frame(10, 9), Frame(64, 4), Frame(300, 9), Frame(65, 9), Frame(64, 5)});
  TcpFrameReader reader;
  EXPECT_EQ(FirstBytes(stream, 7, reader), (Bytes{4, 5}));
  EXPECT_EQ(reader.skippedFrames(), 4u);
}

TEST(TcpFrameReaderTest, KnowsWhenAFrameIsUnfinished) {
  TcpFrameReader reader;
  const Bytes frame = Frame(64, 7);
  reader.Feed(frame.data(), 1);
  EXPECT_TRUE(reader.midFrame());
  reader.Feed(frame.data() + 1, 30);
  EXPECT_TRUE(reader.midFrame());
  uint8_t packet[NETWORK_PACKET_SIZE];
  EXPECT_FALSE(reader.Next(packet));
  reader.Feed(frame.data() + 31, frame.size() - 31);
  EXPECT_FALSE(reader.midFrame());
  ASSERT_TRUE(reader.Next(packet));
  EXPECT_EQ(packet[63], 7);
}

}  // namespace
