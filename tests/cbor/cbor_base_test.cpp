#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cbor/cbor_base.h"
#include "cbor_test_bytes.h"

namespace {

std::string DumpText(const CborBase& item) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return "<no file>";
  item.Dump(file);
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
    text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
}

TEST(Base, NullItem) {
  const CborBase& null = CborBase::Null();
  EXPECT_EQ(&null, &CborBase::Null());
  EXPECT_EQ(null.major(), 7);
  EXPECT_EQ(null.info(), 22);
  EXPECT_EQ(null.tag(), CBOR_NO_TAG);
  EXPECT_EQ(null.ItemCount(), 0u);
  EXPECT_EQ(null.IntegerValue(), 0u);
  EXPECT_EQ(&null.ElementAt(3), &null);
  EXPECT_EQ(&null.ValueAtIntKey(1), &null);
  EXPECT_EQ(&null.ValueAtIndex(0), &null);
  EXPECT_EQ(DumpText(null), "null\r\n");
}

TEST(Base, TaggedItemDumpsItsTag) {
  EXPECT_EQ(DumpText(CborBase(7, 22, 24)), "(24) null\r\n");
  // The base prints the null text whatever its type.
  EXPECT_EQ(DumpText(CborBase(0, 1, CBOR_NO_TAG)), "null\r\n");
}

struct EncodeCase {
  uint32_t tag;
  uint32_t capacity;
  const char* bytes;
};

class EncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, WritesTagHeadAndInitialByte) {
  const EncodeCase& c = GetParam();
  std::vector<uint8_t> expected = Hex(c.bytes);
  std::vector<uint8_t> out(c.capacity + 1, 0xEE);  // one guard byte
  CborBase item(7, 22, c.tag);
  uint32_t written = item.Encode(out.data(), c.capacity);
  ASSERT_EQ(written, expected.size());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + written), expected);
  EXPECT_EQ(out[c.capacity], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(Items, EncodeTest,
                         testing::Values(EncodeCase{CBOR_NO_TAG, 1, "F6"},
                                         EncodeCase{CBOR_NO_TAG, 9, "F6"},
                                         EncodeCase{CBOR_NO_TAG, 0, ""}, EncodeCase{1, 9, "C1 F6"},
                                         EncodeCase{24, 9, "D8 18 F6"},
                                         EncodeCase{500, 9, "D9 01 F4 F6"},
                                         EncodeCase{70000, 9, "DA 00 01 11 70 F6"},
                                         // Too little room for the tag head: the item alone, or the
                                         // tag head without the item.
                                         EncodeCase{24, 1, "F6"}, EncodeCase{24, 2, "D8 18"}));

TEST(Base, EncodeToNullWritesNothing) { EXPECT_EQ(CborBase::Null().Encode(nullptr, 8), 0u); }

}  // namespace
