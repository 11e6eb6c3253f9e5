#include <gtest/gtest.h>

#include <vector>

#include "cbor/cbor_view.h"
#include "cbor/cbor_writer.h"
#include "cbor_test_bytes.h"

namespace {

std::vector<uint8_t> Written(const std::vector<uint8_t>& buffer, const CborWriter& writer) {
  return std::vector<uint8_t>(buffer.begin(), buffer.begin() + writer.position());
}

struct HeadCase {
  uint8_t major;
  uint32_t argument;
  const char* bytes;
};

// Test names show the bytes (and keep gtest from printing padding).
void PrintTo(const HeadCase& c, std::ostream* os) { *os << c.bytes; }

class WriteHeadTest : public testing::TestWithParam<HeadCase> {};

TEST_P(WriteHeadTest, WritesTheShortestForm) {
  const HeadCase& c = GetParam();
  std::vector<uint8_t> expected = Hex(c.bytes);
  std::vector<uint8_t> buffer(8, 0xEE);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  EXPECT_EQ(writer.WriteHead(c.major, c.argument), expected.size());
  EXPECT_EQ(Written(buffer, writer), expected);

  // With one byte too few, nothing at all.
  std::vector<uint8_t> tight(expected.size() - 1, 0xEE);
  CborWriter small(tight.data(), static_cast<uint32_t>(tight.size()));
  EXPECT_EQ(small.WriteHead(c.major, c.argument), 0u);
  EXPECT_EQ(small.position(), 0u);
  EXPECT_EQ(tight, std::vector<uint8_t>(expected.size() - 1, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(Heads, WriteHeadTest,
                         testing::Values(HeadCase{0, 23, "17"}, HeadCase{0, 24, "18 18"},
                                         HeadCase{2, 32, "58 20"}, HeadCase{0, 500, "19 01 F4"},
                                         HeadCase{5, 70000, "BA 00 01 11 70"},
                                         HeadCase{0, 255, "18 FF"}, HeadCase{0, 256, "19 01 00"},
                                         HeadCase{0, 65535, "19 FF FF"},
                                         HeadCase{4, 0xFFFFFFFF, "9A FF FF FF FF"}));

struct IntCase {
  int64_t value;
  const char* bytes;
};

class WriteIntTest : public testing::TestWithParam<IntCase> {};

TEST_P(WriteIntTest, Writes) {
  std::vector<uint8_t> buffer(8);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  writer.WriteInt(GetParam().value);
  EXPECT_EQ(Written(buffer, writer), Hex(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(Ints, WriteIntTest,
                         testing::Values(IntCase{-25, "38 18"}, IntCase{-1, "20"},
                                         IntCase{-3, "22"}, IntCase{0, "00"}, IntCase{1, "01"},
                                         IntCase{4294967295, "1A FF FF FF FF"},
                                         IntCase{-4294967296, "3A FF FF FF FF"},
                                         // Past 32-bit arguments: nothing.
                                         IntCase{4294967296, ""}, IntCase{-4294967297, ""},
                                         IntCase{INT64_MIN, ""}, IntCase{INT64_MAX, ""}));

TEST(Writer, GetKeyAgreementRequest) {
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE] = {0x06};
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(2);
  writer.WriteInt(1);
  writer.WriteInt(1);
  writer.WriteInt(2);
  writer.WriteInt(2);
  EXPECT_EQ(std::vector<uint8_t>(request, request + writer.position() + 1),
            Hex("06 A2 01 01 02 02"));
  EXPECT_EQ(writer.room(), CTAP_REQUEST_BUFFER_SIZE - 1 - 5);
}

TEST(Writer, CoseKeyReadsBack) {
  uint8_t x[32], y[32];
  for (uint8_t i = 0; i < 32; ++i) {
    x[i] = i;
    y[i] = static_cast<uint8_t>(0x80 + i);
  }
  std::vector<uint8_t> buffer(100);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  writer.WriteMap(5);
  writer.WriteInt(1);
  writer.WriteInt(2);
  writer.WriteInt(3);
  writer.WriteInt(-25);
  writer.WriteInt(-1);
  writer.WriteInt(1);
  writer.WriteInt(-2);
  writer.WriteBytes(x, 32);
  writer.WriteInt(-3);
  writer.WriteBytes(y, 32);
  ASSERT_EQ(writer.position(), 78u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 10),
            Hex("A5 01 02 03 38 18 20 01 21 58"));

  CborView key(buffer.data(), writer.position());
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(key.FindIntKey(-3).GetBytes(bytes, length));
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + length), std::vector<uint8_t>(y, y + 32));
  EXPECT_EQ(key.FindIntKey(3).Head().argument, 24u);
  EXPECT_EQ(key.ItemLength(), 78u);
}

TEST(Writer, StringsAreWholeOrNothing) {
  uint8_t payload[32] = {};
  for (uint32_t room : {33u, 34u}) {
    std::vector<uint8_t> buffer(room, 0xEE);
    CborWriter writer(buffer.data(), room);
    writer.WriteBytes(payload, 32);
    EXPECT_EQ(writer.position(), room == 34 ? 34u : 0u);
    if (room == 33) {
      EXPECT_EQ(buffer, std::vector<uint8_t>(33, 0xEE));
    }
  }

  // A failed item leaves room for the next one.
  std::vector<uint8_t> buffer(6);
  CborWriter writer(buffer.data(), 6);
  writer.WriteText("toolong", 7);
  writer.WriteText("up", 2);
  writer.WriteHead(0, 300);  // needs 3, 3 left
  writer.WriteHead(0, 70000);
  EXPECT_EQ(Written(buffer, writer), Hex("62 75 70 19 01 2C"));
  writer.WriteInt(0);
  EXPECT_EQ(writer.position(), 6u);

  std::vector<uint8_t> two(2);
  CborWriter tight(two.data(), 2);
  EXPECT_EQ(tight.WriteHead(0, 300), 0u);
  EXPECT_EQ(tight.position(), 0u);
  tight.WriteText("", 0);
  tight.WriteBytes(nullptr, 0);
  EXPECT_EQ(Written(two, tight), Hex("60 40"));
}

TEST(Writer, NullBufferWritesNothing) {
  CborWriter writer(nullptr, 100);
  EXPECT_EQ(writer.WriteHead(0, 1), 0u);
  writer.WriteInt(-7);
  writer.WriteBytes(reinterpret_cast<const uint8_t*>("ab"), 2);
  writer.WriteText("ab", 2);
  writer.WriteMap(1);
  writer.WriteArray(1);
  EXPECT_EQ(writer.position(), 0u);
  EXPECT_EQ(writer.room(), 100u);

  // Null payload bytes with a length: nothing.
  std::vector<uint8_t> buffer(8);
  CborWriter withBuffer(buffer.data(), 8);
  withBuffer.WriteBytes(nullptr, 3);
  withBuffer.WriteText(nullptr, 3);
  EXPECT_EQ(withBuffer.position(), 0u);
}

}  // namespace
