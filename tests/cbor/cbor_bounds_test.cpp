// Views over data cut short: nothing is read outside [data, data + size), and
// no accessor answers bytes that do not lie wholly inside the view.
#include <gtest/gtest.h>

#include "cbor/cbor_view.h"
#include "cbor_test_bytes.h"

namespace {

// Every result pointer lies inside the block; runs every lookup and accessor
// on `view`.
void ExpectAccessorsInside(const CborView& view, const HeapBytes& block) {
  const uint8_t* end = block.data() + block.size();
  if (!view.IsEmpty()) {
    EXPECT_GE(view.data, block.data());
    EXPECT_EQ(view.data + view.size, end);
  }
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (view.GetBytes(bytes, length)) {
    EXPECT_LE(bytes + length, end);
  }
  std::string text;
  if (view.GetText(text)) {
    EXPECT_LE(text.size(), view.size);
  }
  uint32_t number = 0;
  view.GetUnsigned(number);
  view.GetSimple();
  view.Count();
  view.ItemLength();
}

// {1: ["U2F_V2", "FIDO_2_0"], 3: h'00..0F', 4: {"rk": true, "up": true},
//  5: 1200, 10: [{"alg": -7, "type": "public-key"}]}
const char* kGetInfo =
    "A5 01 82 66 55 32 46 5F 56 32 68 46 49 44 4F 5F 32 5F 30"
    " 03 50 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"
    " 04 A2 62 72 6B F5 62 75 70 F5 05 19 04 B0"
    " 0A 81 A2 63 61 6C 67 26 64 74 79 70 65 6A 70 75 62 6C 69 63 2D 6B 65 79";

TEST(Bounds, EveryPrefixOfAnAnswer) {
  std::vector<uint8_t> full = Hex(kGetInfo);
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    HeapBytes block(full, cut);
    CborView root = block.view();
    ExpectAccessorsInside(root, block);
    for (int32_t key = 0; key <= 11; ++key) {
      CborView member = root.FindIntKey(key);
      ExpectAccessorsInside(member, block);
      for (int32_t i = 0; i < 4; ++i) {
        CborView entry = member.ElementAt(i);
        ExpectAccessorsInside(entry, block);
        ExpectAccessorsInside(entry.FindTextKey("alg"), block);
        ExpectAccessorsInside(entry.FindTextKey("type"), block);
      }
      ExpectAccessorsInside(member.FindTextKey("rk"), block);
      ExpectAccessorsInside(member.FindTextKey("up"), block);
    }
  }
}

TEST(Bounds, CutAnswersKeepWhatIsWhole) {
  std::vector<uint8_t> full = Hex(kGetInfo);
  // Cut inside the aaguid: versions still read, the aaguid does not.
  HeapBytes block(full, 30);
  EXPECT_EQ(TextOf(block.view().FindIntKey(1).ElementAt(1)), "FIDO_2_0");
  CborView aaguid = block.view().FindIntKey(3);
  ASSERT_FALSE(aaguid.IsEmpty());
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(aaguid.GetBytes(bytes, length));
  EXPECT_EQ(aaguid.Count(), 16);
  EXPECT_GT(block.view().ItemLength(), block.size());
  EXPECT_TRUE(block.view().FindIntKey(5).IsEmpty());
  // Cut exactly between members (a map of two pairs holding one, arrays and
  // nested maps likewise): still cut off, never a whole item.
  for (const char* hex : {"a20103", "830102", "8201", "a101a20102"}) {
    const std::vector<uint8_t> bytes = Hex(hex);
    HeapBytes cut(bytes, bytes.size());
    EXPECT_GT(cut.view().ItemLength(), cut.size()) << hex;
  }
  // A break code closes only an indefinite item: in a counted one the item
  // is malformed, not short.
  const struct {
    const char* hex;
    uint32_t length;
  } breaks[] = {{"8201ff", 0}, {"a201ff", 0}, {"8201ff02", 0}, {"82819f01ff01", 6}};
  for (const auto& c : breaks) {
    EXPECT_EQ(HeapBytes(std::string(c.hex)).view().ItemLength(), c.length) << c.hex;
  }

  // Cut inside the head of maxMsgSize.
  HeapBytes midHead(full, 50);
  CborView maxMsgSize = midHead.view().FindIntKey(5);
  ASSERT_FALSE(maxMsgSize.IsEmpty());
  uint32_t number = 0;
  EXPECT_FALSE(maxMsgSize.GetUnsigned(number));
  EXPECT_EQ(maxMsgSize.GetSimple(), 22);
  EXPECT_EQ(midHead.view().FindIntKey(4).FindTextKey("up").GetSimple(), 21);
}

struct CutCase {
  const char* bytes;
};

// Test names show the bytes (and keep gtest from printing padding).
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.bytes; }

class CutHeadTest : public testing::TestWithParam<CutCase> {};

// A head cut off by the end reads as the empty view.
TEST_P(CutHeadTest, ReadsAsEmpty) {
  HeapBytes block(GetParam().bytes);
  CborView view = block.view();
  uint32_t number = 5;
  const uint8_t* bytes = nullptr;
  uint32_t length = 5;
  std::string text = "kept";
  EXPECT_EQ(view.Count(), 0);
  EXPECT_EQ(view.GetSimple(), 22);
  EXPECT_EQ(view.ItemLength(), 0u);
  EXPECT_FALSE(view.GetUnsigned(number));
  EXPECT_FALSE(view.GetBytes(bytes, length));
  EXPECT_FALSE(view.GetText(text));
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(view.FindIntKey(1).IsEmpty());
  EXPECT_TRUE(view.FindTextKey("a").IsEmpty());
  EXPECT_TRUE(view.ElementAt(0).IsEmpty());
  EXPECT_TRUE(view.ElementAt(1).IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Heads, CutHeadTest,
                         testing::Values(CutCase{"18"}, CutCase{"59 01"}, CutCase{"7A 00 00 00"},
                                         CutCase{"98"}, CutCase{"B9 00"},
                                         CutCase{"BB 00 00 00 00 00 00 00"}, CutCase{"C1"},
                                         CutCase{"D8 18 B8"}, CutCase{"1C"}, CutCase{"BE 01"}));

struct StringCase {
  const char* bytes;
  bool readable;
};

// Test names show the bytes (and keep gtest from printing padding).
void PrintTo(const StringCase& c, std::ostream* os) { *os << c.bytes; }

class StringFitTest : public testing::TestWithParam<StringCase> {};

// A string is answered only when its bytes lie wholly inside the view.
TEST_P(StringFitTest, AnswersOnlyWholeStrings) {
  HeapBytes block(GetParam().bytes);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  std::string text;
  bool read = block.view().GetBytes(bytes, length) || block.view().GetText(text);
  EXPECT_EQ(read, GetParam().readable);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, StringFitTest,
    testing::Values(StringCase{"43 01 02 03", true}, StringCase{"43 01 02", false},
                    StringCase{"63 61 62 63", true}, StringCase{"63 61 62", false},
                    StringCase{"40", true}, StringCase{"60", true},
                    StringCase{"5A FF FF FF FF 00", false}, StringCase{"7A FF FF FF FF 00", false},
                    StringCase{"5B 00 00 00 00 00 00 00 01 00", true},
                    StringCase{"5B 00 00 00 01 00 00 00 00 00", false},
                    StringCase{"D8 18 43 01 02", false}));

TEST(Bounds, StringPastTheEndInsideAMap) {
  // {1: h'0102' declared as 32 bytes, 2: 3}: the walk runs off at the string.
  HeapBytes block("A2 01 58 20 01 02 02 03");
  CborView value = block.view().FindIntKey(1);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(value.GetBytes(bytes, length));
  EXPECT_TRUE(block.view().FindIntKey(2).IsEmpty());
  EXPECT_EQ(block.view().ItemLength(), 36u);
}

TEST(Bounds, KeyWhoseTextRunsPastTheEnd) {
  HeapBytes block("A1 62 72");
  EXPECT_TRUE(block.view().FindTextKey("r\0", 2).IsEmpty());
  EXPECT_TRUE(block.view().FindTextKey("rk").IsEmpty());
}

TEST(Bounds, KeyAtTheVeryEnd) {
  // The value is missing: the answer is the empty view, not a view of size 0.
  HeapBytes block("A1 01");
  CborView value = block.view().FindIntKey(1);
  EXPECT_EQ(value.data, nullptr);
  EXPECT_EQ(value.size, 0u);
}

}  // namespace
