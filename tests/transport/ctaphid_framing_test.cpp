#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "transport/ctaphid.h"

namespace {

const uint8_t kChannel[4] = {0x11, 0x22, 0x33, 0x44};

std::vector<uint8_t> Message(size_t length) {
  std::vector<uint8_t> bytes(length);
  std::iota(bytes.begin(), bytes.end(), uint8_t{1});
  return bytes;
}

struct FramingCase {
  size_t length;
  std::vector<size_t> payloads;  // per packet
};

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, PacketsCarryTheMessageInOrder) {
  const FramingCase& c = GetParam();
  const std::vector<uint8_t> message = Message(c.length);
  ASSERT_EQ(CtaphidPacketCount(c.length), c.payloads.size());

  std::vector<uint8_t> joined;
  for (size_t index = 0; index < c.payloads.size(); ++index) {
    uint8_t report[CTAPHID_REPORT_LENGTH];
    const size_t carried =
        CtaphidFillPacket(report, kChannel, CTAPHID_MSG, message.data(), c.length, index);
    EXPECT_EQ(carried, c.payloads[index]) << "packet " << index;
    EXPECT_EQ(report[0], 0) << "report id";
    EXPECT_EQ(0, memcmp(report + 1, kChannel, 4));
    const uint8_t* payload = report + 6;
    if (index == 0) {
      EXPECT_EQ(report[5], CTAPHID_MSG);
      EXPECT_EQ(report[6], c.length >> 8);
      EXPECT_EQ(report[7], c.length & 0xFF);
      payload = report + 8;
    } else {
      EXPECT_EQ(report[5], index - 1) << "sequence number";
    }
    joined.insert(joined.end(), payload, payload + carried);
    // Filler after the payload is zero.
    for (const uint8_t* p = payload + carried; p < report + CTAPHID_REPORT_LENGTH; ++p) {
      EXPECT_EQ(*p, 0);
    }
  }
  EXPECT_EQ(joined, message);
  uint8_t report[CTAPHID_REPORT_LENGTH];
  EXPECT_EQ(
      CtaphidFillPacket(report, kChannel, CTAPHID_MSG, message.data(), c.length, c.payloads.size()),
      0u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FramingTest,
                         ::testing::Values(FramingCase{1, {1}}, FramingCase{57, {57}},
                                           FramingCase{58, {57, 1}},
                                           FramingCase{200, {57, 59, 59, 25}},
                                           FramingCase{116, {57, 59}},
                                           FramingCase{117, {57, 59, 1}}));

TEST(FramingTest, LongestMessageUsesSequenceNumbersUpTo127) {
  const std::vector<uint8_t> message = Message(CTAPHID_MAX_MESSAGE);
  ASSERT_EQ(CtaphidPacketCount(message.size()), 129u);
  uint8_t report[CTAPHID_REPORT_LENGTH];
  EXPECT_EQ(CtaphidFillPacket(report, kChannel, CTAPHID_CBOR, message.data(), message.size(), 128),
            59u);
  EXPECT_EQ(report[5], 127);
}

// Reports as a key sends them, for the reassembler.
std::vector<std::vector<uint8_t>> Packets(const uint8_t channel[4], uint8_t command,
                                          const std::vector<uint8_t>& message) {
  std::vector<std::vector<uint8_t>> reports;
  for (size_t i = 0; i < CtaphidPacketCount(message.size()); ++i) {
    std::vector<uint8_t> report(CTAPHID_REPORT_LENGTH);
    CtaphidFillPacket(report.data(), channel, command, message.data(), message.size(), i);
    reports.push_back(report);
  }
  return reports;
}

TEST(ReassemblerTest, JoinsAReplyAndSkipsOtherChannelsAndKeepAlives) {
  const std::vector<uint8_t> message = Message(130);
  std::vector<uint8_t> buffer(4096);
  CtaphidReassembler reassembler(kChannel, buffer.data(), static_cast<uint32_t>(buffer.size()));

  const uint8_t other[4] = {0x11, 0x22, 0x33, 0x45};
  std::vector<uint8_t> keepAlive(CTAPHID_REPORT_LENGTH);
  const uint8_t status = 0x02;
  CtaphidFillPacket(keepAlive.data(), kChannel, CTAPHID_KEEPALIVE, &status, 1, 0);
  std::vector<uint8_t> zeroLength(CTAPHID_REPORT_LENGTH);
  CtaphidFillPacket(zeroLength.data(), kChannel, CTAPHID_MSG, nullptr, 0, 0);

  EXPECT_EQ(reassembler.Feed(Packets(other, CTAPHID_MSG, Message(3))[0].data(), 65),
            CtaphidFeed::kSkipped);
  EXPECT_EQ(reassembler.Feed(keepAlive.data(), 65), CtaphidFeed::kKeepAlive);
  EXPECT_EQ(reassembler.Feed(zeroLength.data(), 65), CtaphidFeed::kKeepAlive);
  const auto packets = Packets(kChannel, CTAPHID_MSG, message);
  // A continuation packet before any initialisation packet is stale.
  EXPECT_EQ(reassembler.Feed(packets[1].data(), 65), CtaphidFeed::kSkipped);
  EXPECT_EQ(reassembler.Feed(packets[0].data(), 65), CtaphidFeed::kMore);
  EXPECT_EQ(reassembler.Feed(Packets(other, CTAPHID_MSG, Message(70))[1].data(), 65),
            CtaphidFeed::kSkipped);
  EXPECT_EQ(reassembler.Feed(packets[1].data(), 65), CtaphidFeed::kMore);
  EXPECT_EQ(reassembler.Feed(packets[2].data(), 65), CtaphidFeed::kDone);
  EXPECT_EQ(reassembler.messageLength(), 130u);
  EXPECT_EQ(reassembler.command(), CTAPHID_MSG);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 130), message);
}

TEST(ReassemblerTest, RefusesWhatDoesNotFitOrBreaksTheSequence) {
  struct Case {
    const char* name;
    uint32_t capacity;
    size_t length;
    std::vector<size_t> order;  // packets fed, by index
    CtaphidFeed last;
  };
  const Case cases[] = {
      {"announces more than the capacity", 100, 101, {0}, CtaphidFeed::kTooLong},
      {"exactly the capacity", 101, 101, {0, 1}, CtaphidFeed::kDone},
      {"sequence number skipped", 4096, 200, {0, 2}, CtaphidFeed::kBroken},
      {"sequence number repeated", 4096, 200, {0, 1, 1}, CtaphidFeed::kBroken},
      {"new message in the middle", 4096, 200, {0, 0}, CtaphidFeed::kBroken},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(c.capacity, 0xEE);
    std::vector<uint8_t> guarded(buffer.size() + 64, 0xEE);
    CtaphidReassembler reassembler(kChannel, guarded.data(), c.capacity);
    const auto packets = Packets(kChannel, CTAPHID_CBOR, Message(c.length));
    CtaphidFeed result = CtaphidFeed::kSkipped;
    for (size_t index : c.order) result = reassembler.Feed(packets[index].data(), 65);
    EXPECT_EQ(result, c.last) << c.name;
    for (size_t i = c.capacity; i < guarded.size(); ++i) {
      ASSERT_EQ(guarded[i], 0xEE) << c.name << ": wrote past the capacity at " << i;
    }
  }
}

TEST(ReassemblerTest, ShortReportsNeverReadPastTheirBytes) {
  std::vector<uint8_t> buffer(4096);
  CtaphidReassembler reassembler(kChannel, buffer.data(), 4096);
  const auto packets = Packets(kChannel, CTAPHID_MSG, Message(100));
  // Only 20 bytes arrived of a packet that announces 57 bytes of payload.
  EXPECT_EQ(reassembler.Feed(packets[0].data(), 20), CtaphidFeed::kBroken);
  CtaphidReassembler tiny(kChannel, buffer.data(), 4096);
  EXPECT_EQ(tiny.Feed(packets[0].data(), 5), CtaphidFeed::kSkipped);
}

}  // namespace
