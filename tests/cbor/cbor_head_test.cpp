#include <gtest/gtest.h>

#include "cbor/cbor_head.h"
#include "cbor_test_bytes.h"

namespace {

struct HeadCase {
  const char* bytes;
  uint32_t tag;
  uint8_t major;
  uint8_t info;
  uint8_t headLength;
  uint32_t argument;
};

// Test names show the bytes (and keep gtest from printing padding).
void PrintTo(const HeadCase& c, std::ostream* os) { *os << c.bytes; }

class HeadTest : public testing::TestWithParam<HeadCase> {};

TEST_P(HeadTest, ReadsWithinTheBytes) {
  const HeadCase& c = GetParam();
  HeapBytes bytes(c.bytes);
  CborHead head;
  head.ParseHead(bytes.data(), bytes.size());
  EXPECT_EQ(head.tag, c.tag);
  EXPECT_EQ(head.major, c.major);
  EXPECT_EQ(head.info, c.info);
  EXPECT_EQ(head.headLength, c.headLength);
  EXPECT_EQ(head.argument, c.argument);

  // The view answers the same head.
  CborHead viewHead = bytes.view().Head();
  EXPECT_EQ(viewHead.headLength, c.headLength);
  EXPECT_EQ(viewHead.argument, c.argument);
  EXPECT_EQ(viewHead.tag, c.tag);
}

constexpr uint32_t kNoTag = CBOR_NO_TAG;
constexpr uint32_t kAll = 0xFFFFFFFF;

INSTANTIATE_TEST_SUITE_P(
    Heads, HeadTest,
    testing::Values(
        HeadCase{"00", kNoTag, 0, 0, 1, 0}, HeadCase{"17", kNoTag, 0, 23, 1, 23},
        HeadCase{"18 FF", kNoTag, 0, 24, 2, 255}, HeadCase{"19 01 F4", kNoTag, 0, 25, 3, 500},
        HeadCase{"BA 00 01 11 70", kNoTag, 5, 26, 5, 70000},
        HeadCase{"38 18", kNoTag, 1, 24, 2, 24},
        // 8-byte arguments: the value when it fits 32 bits, else all ones.
        HeadCase{"1B 00 00 00 00 00 00 00 05", kNoTag, 0, 27, 9, 5},
        HeadCase{"1B 00 00 00 00 FF FF FF FF", kNoTag, 0, 27, 9, kAll},
        HeadCase{"1B 00 00 00 01 00 00 00 00", kNoTag, 0, 27, 9, kAll},
        HeadCase{"3B FF FF FF FF FF FF FF FF", kNoTag, 1, 27, 9, kAll},
        HeadCase{"FB 3F F0 00 00 00 00 00 00", kNoTag, 7, 27, 9, kAll},
        // Reserved additional information: no head.
        HeadCase{"1C", kNoTag, 7, 22, 0, 0}, HeadCase{"5D 00", kNoTag, 7, 22, 0, 0},
        HeadCase{"FE", kNoTag, 7, 22, 0, 0},
        // Indefinite lengths and the break code.
        HeadCase{"9F", kNoTag, 4, 31, 1, 31}, HeadCase{"FF", kNoTag, 7, 31, 1, 31},
        HeadCase{"F5", kNoTag, 7, 21, 1, 21},
        // Tags: one level unwrapped, both heads counted.
        HeadCase{"C0 74", 0, 3, 20, 2, 20}, HeadCase{"D8 18 44", 24, 2, 4, 3, 4},
        HeadCase{"D9 01 F4 19 01 00", 500, 0, 25, 6, 256},
        HeadCase{"DB 00 00 00 00 00 00 00 01 82", 1, 4, 2, 10, 2},
        HeadCase{"DB 01 00 00 00 00 00 00 00 F6", kAll, 7, 22, 10, 22},
        HeadCase{"C1 1B 00 00 00 00 00 00 00 07", 1, 0, 27, 10, 7},
        HeadCase{"C1 C2 F6", 1, 6, 2, 2, 2}, HeadCase{"C1 1C", kNoTag, 7, 22, 0, 0},
        HeadCase{"DC 01", kNoTag, 7, 22, 0, 0},
        // Cut off by the end of the bytes: no head.
        HeadCase{"", kNoTag, 7, 22, 0, 0}, HeadCase{"18", kNoTag, 7, 22, 0, 0},
        HeadCase{"19 01", kNoTag, 7, 22, 0, 0}, HeadCase{"1A 00 01 11", kNoTag, 7, 22, 0, 0},
        HeadCase{"1B 00 00 00 00 00 00 00", kNoTag, 7, 22, 0, 0},
        HeadCase{"C0", kNoTag, 7, 22, 0, 0}, HeadCase{"D8 18", kNoTag, 7, 22, 0, 0},
        HeadCase{"D8 18 58", kNoTag, 7, 22, 0, 0}, HeadCase{"D9 01", kNoTag, 7, 22, 0, 0}));

TEST(HeadStatus, TellsCutOffFromMalformed) {
  HeapBytes cut("19 01");
  HeapBytes reserved("1E");
  HeapBytes reservedAfterTag("C1 1D");
  CborHead head;
  EXPECT_EQ(head.Read(cut.data(), cut.size()), CborHeadStatus::kCutOff);
  EXPECT_EQ(head.Read(reserved.data(), reserved.size()), CborHeadStatus::kMalformed);
  EXPECT_EQ(head.Read(reservedAfterTag.data(), reservedAfterTag.size()),
            CborHeadStatus::kMalformed);
  EXPECT_EQ(head.Read(nullptr, 4), CborHeadStatus::kMalformed);
  EXPECT_EQ(head.headLength, 0);
}

TEST(HeadStatus, UnboundedReadMatchesBoundedOne) {
  // The unbounded reader relies on the zero fill after the data.
  uint8_t buffer[16] = {0xC0, 0x74};
  CborHead head;
  head.ParseHead(buffer);
  EXPECT_EQ(head.tag, 0u);
  EXPECT_EQ(head.major, 3);
  EXPECT_EQ(head.headLength, 2);
  EXPECT_EQ(head.argument, 20u);

  head.ParseHead(nullptr);
  EXPECT_EQ(head.major, 7);
  EXPECT_EQ(head.info, 22);
  EXPECT_EQ(head.headLength, 0);
}

}  // namespace
