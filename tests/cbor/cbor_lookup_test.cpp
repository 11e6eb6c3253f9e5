#include <gtest/gtest.h>

#include "cbor/cbor_view.h"
#include "cbor_test_bytes.h"

namespace {

// {1: 2, 3: -7, -1: 1, -2: h'00' x 32, -3: h'11' x 32}
std::vector<uint8_t> CoseKey() {
  std::vector<uint8_t> bytes = Hex("A5 01 02 03 26 20 01 21 58 20");
  bytes.insert(bytes.end(), 32, 0x00);
  bytes.push_back(0x22);
  bytes.push_back(0x58);
  bytes.push_back(0x20);
  bytes.insert(bytes.end(), 32, 0x11);
  return bytes;
}

TEST(Lookup, EmptyViewReadsAsNull) {
  static const uint8_t kOne[] = {0x01};
  for (const CborView& view : {CborView(), CborView(nullptr, 10), CborView(kOne, 0)}) {
    uint32_t number = 77;
    const uint8_t* bytes = nullptr;
    uint32_t length = 77;
    std::string text = "kept";
    EXPECT_EQ(view.Count(), 0);
    EXPECT_EQ(view.GetSimple(), 22);
    EXPECT_EQ(view.ItemLength(), 0u);
    EXPECT_FALSE(view.GetUnsigned(number));
    EXPECT_FALSE(view.GetBytes(bytes, length));
    EXPECT_FALSE(view.GetText(text));
    EXPECT_EQ(number, 77u);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(view.FindIntKey(1).IsEmpty());
    EXPECT_TRUE(view.FindTextKey("rk").IsEmpty());
    EXPECT_TRUE(view.ElementAt(0).IsEmpty());
  }
}

TEST(Lookup, CoseKeyCoordinates) {
  HeapBytes key(CoseKey());
  const uint8_t* x = nullptr;
  const uint8_t* y = nullptr;
  uint32_t xLength = 0, yLength = 0;
  ASSERT_TRUE(key.view().FindIntKey(-2).GetBytes(x, xLength));
  ASSERT_TRUE(key.view().FindIntKey(-3).GetBytes(y, yLength));
  EXPECT_EQ(x, key.data() + 10);
  EXPECT_EQ(xLength, 32u);
  EXPECT_EQ(y, key.data() + 45);
  EXPECT_EQ(y[31], 0x11);
  uint32_t curve = 0;
  EXPECT_TRUE(key.view().FindIntKey(-1).GetUnsigned(curve));
  EXPECT_EQ(curve, 1u);
  EXPECT_EQ(key.view().FindIntKey(3).Head().major, 1);
  EXPECT_TRUE(key.view().FindIntKey(2).IsEmpty());  // 2 is only a value
  EXPECT_EQ(key.view().ItemLength(), key.size());
}

struct KeyCase {
  const char* map;
  int32_t key;
  const char* expected;  // hex of the bytes the answer starts with, "" for the empty view
};

// Test names show the bytes (and keep gtest from printing padding).
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.map; }

class IntKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(IntKeyTest, FindsTheValue) {
  const KeyCase& c = GetParam();
  HeapBytes map(c.map);
  CborView value = map.view().FindIntKey(c.key);
  std::vector<uint8_t> expected = Hex(c.expected);
  if (expected.empty()) {
    EXPECT_TRUE(value.IsEmpty());
    return;
  }
  ASSERT_FALSE(value.IsEmpty());
  ASSERT_GE(value.size, expected.size());
  EXPECT_EQ(std::vector<uint8_t>(value.data, value.data + expected.size()), expected);
  EXPECT_EQ(value.data + value.size, map.data() + map.size());
}

INSTANTIATE_TEST_SUITE_P(
    Maps, IntKeyTest,
    testing::Values(
        // {5: 1, 1: 9}: the value 1 is not taken for the key.
        KeyCase{"A2 05 01 01 09", 1, "09"},
        // {1: {2: 3}, 2: 4}: the nested key is skipped.
        KeyCase{"A2 01 A1 02 03 02 04", 2, "04"},
        // {1: [2, 3], 3: 5}, {1: "ab", 3: 5}.
        KeyCase{"A2 01 82 02 03 03 05", 3, "05"}, KeyCase{"A2 01 62 61 62 03 05", 3, "05"},
        // Keys of other types never match an integer.
        KeyCase{"A2 61 31 01 01 02", 1, "02"}, KeyCase{"A1 F5 01", 21, ""},
        // Indefinite containers and strings are walked to their break codes.
        KeyCase{"A4 01 9F 01 02 FF 02 BF 03 04 FF 03 5F 41 01 41 02 FF 04 61 78", 4, "61 78"},
        KeyCase{"BF 01 02 07 08 FF", 7, "08"}, KeyCase{"BF 01 02 FF 07 08", 7, ""},
        // A key in value position after a container key is a value.
        KeyCase{"A2 81 01 05 05 06", 5, "06"},
        // Integer keys match exactly, with no 32-bit wrap.
        KeyCase{"A1 20 05", -1, "05"}, KeyCase{"A1 3A 7F FF FF FF 05", INT32_MIN, "05"},
        KeyCase{"A2 1A FF FF FF FF 05 20 06", -1, "06"},
        KeyCase{"A2 3A FF FF FF FF 05 00 06", 0, "06"},
        KeyCase{"A2 3A 80 00 00 00 05 1A 7F FF FF FF 06", INT32_MAX, "06"},
        KeyCase{"A1 00 05", -1, ""}, KeyCase{"A1 20 05", 0, ""},
        // 8-byte heads are passed over; a small 8-byte key still matches.
        KeyCase{"A3 01 1B 00 00 00 01 00 00 00 00 02 FB 3F F0 00 00 00 00 00 00 03 05", 3, "05"},
        KeyCase{"A1 1B 00 00 00 00 00 00 00 02 05", 2, "05"},
        KeyCase{"A2 1B 00 00 00 01 00 00 00 02 05 02 06", 2, "06"},
        // A reserved head ends the walk.
        KeyCase{"A2 01 1C 02 03", 2, ""}, KeyCase{"A2 01 02 03 04", 9, ""},
        // Tagged values are answered with their tag.
        KeyCase{"A1 01 D8 18 41 00", 1, "D8 18"},
        // Not a map, or an empty one.
        KeyCase{"82 01 02", 1, ""}, KeyCase{"A0 01 02", 1, ""}, KeyCase{"01", 1, ""}));

TEST(Lookup, IntKeyValueIsReadable) {
  HeapBytes map("A2 01 1B 00 00 00 01 00 00 00 00 02 FB 3F F0 00 00 00 00 00 00");
  uint32_t number = 0;
  EXPECT_TRUE(map.view().FindIntKey(1).GetUnsigned(number));
  EXPECT_EQ(number, 0xFFFFFFFFu);
  EXPECT_EQ(map.view().FindIntKey(2).GetSimple(), 27);
  EXPECT_EQ(map.view().ItemLength(), map.size());
}

TEST(Lookup, TextKeys) {
  // {"plat": false, "rk": true, "": 1, "r": 2, h'726B': 3, "rkx": 4}
  HeapBytes map("A6 64 70 6C 61 74 F4 62 72 6B F5 60 01 61 72 02 42 72 6B 03 63 72 6B 78 04");
  EXPECT_EQ(map.view().FindTextKey("rk").GetSimple(), 21);
  EXPECT_EQ(map.view().FindTextKey("plat").GetSimple(), 20);
  uint32_t number = 0;
  EXPECT_TRUE(map.view().FindTextKey("", 0).GetUnsigned(number));
  EXPECT_EQ(number, 1u);
  EXPECT_TRUE(map.view().FindTextKey("rkx").GetUnsigned(number));
  EXPECT_EQ(number, 4u);
  EXPECT_TRUE(map.view().FindTextKey("rk", 1).GetUnsigned(number));  // "r"
  EXPECT_EQ(number, 2u);
  EXPECT_TRUE(map.view().FindTextKey("up").IsEmpty());
  EXPECT_TRUE(map.view().FindTextKey(nullptr, 0).IsEmpty());

  // Bytes 0x80..0xFF compare as they are.
  HeapBytes high("A1 62 C3 A9 07");
  EXPECT_EQ(high.view().FindTextKey("\xC3\xA9").Head().argument, 7u);
  // An indefinite text key never matches.
  HeapBytes chunked("A2 7F 62 72 6B FF 01 62 72 6B 02");
  EXPECT_TRUE(chunked.view().FindTextKey("rk").GetUnsigned(number));
  EXPECT_EQ(number, 2u);
}

TEST(Lookup, TextKeyReadsNothingAfterTheMap) {
  // {"uv": true}, then bytes that would read as "up": true.
  HeapBytes bytes("A1 62 75 76 F5 62 75 70 F5");
  EXPECT_TRUE(bytes.view().FindTextKey("up").IsEmpty());
  EXPECT_EQ(bytes.view().FindTextKey("uv").GetSimple(), 21);
}

TEST(Lookup, ElementAt) {
  // [{1: [2, 3]}, "b"]
  HeapBytes array("82 A1 01 82 02 03 61 62");
  EXPECT_EQ(array.view().ElementAt(0).Head().major, 5);
  EXPECT_EQ(TextOf(array.view().ElementAt(1)), "b");
  EXPECT_TRUE(array.view().ElementAt(2).IsEmpty());
  EXPECT_TRUE(array.view().ElementAt(-1).IsEmpty());
  EXPECT_TRUE(array.view().ElementAt(0).ElementAt(0).IsEmpty());  // a map

  // [_ 1, [_ 2], (_ "a"), 3]
  HeapBytes indefinite("9F 01 9F 02 FF 7F 61 61 FF 03 FF");
  EXPECT_EQ(indefinite.view().Count(), static_cast<int32_t>(CBOR_INDEFINITE));
  EXPECT_EQ(indefinite.view().ElementAt(1).ItemLength(), 3u);
  EXPECT_EQ(indefinite.view().ElementAt(2).Count(), static_cast<int32_t>(CBOR_INDEFINITE));
  uint32_t number = 0;
  EXPECT_TRUE(indefinite.view().ElementAt(3).GetUnsigned(number));
  EXPECT_EQ(number, 3u);
  EXPECT_TRUE(indefinite.view().ElementAt(4).IsEmpty());  // the break code
  EXPECT_TRUE(HeapBytes("9F FF").view().ElementAt(0).IsEmpty());
  EXPECT_EQ(indefinite.view().ItemLength(), indefinite.size());

  // 8-byte items do not hide later elements.
  HeapBytes wide("83 1B 00 00 00 01 00 00 00 00 FB 3F F0 00 00 00 00 00 00 07 00");
  EXPECT_TRUE(wide.view().ElementAt(2).GetUnsigned(number));
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(wide.view().ItemLength(), wide.size() - 1);

  // A reserved head ends the walk; an array declaring 2^31 or more elements
  // has no usable count.
  EXPECT_TRUE(HeapBytes("83 1D 01 02").view().ElementAt(2).IsEmpty());
  EXPECT_TRUE(HeapBytes("9A 80 00 00 00 01").view().ElementAt(0).IsEmpty());
}

struct LengthCase {
  const char* bytes;
  uint32_t length;
};

// Test names show the bytes (and keep gtest from printing padding).
void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.bytes; }

class ItemLengthTest : public testing::TestWithParam<LengthCase> {};

TEST_P(ItemLengthTest, Measures) {
  HeapBytes bytes(GetParam().bytes);
  EXPECT_EQ(bytes.view().ItemLength(), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ItemLengthTest,
    testing::Values(LengthCase{"83 01 82 02 03 62 61 62", 8}, LengthCase{"A0 01 02", 1},
                    LengthCase{"80", 1}, LengthCase{"01 02", 1}, LengthCase{"62 61 62 00", 3},
                    LengthCase{"D8 18 42 01 02", 5}, LengthCase{"F5", 1},
                    LengthCase{"BF 01 02 FF 00", 4}, LengthCase{"9F 9F FF FF 00", 4},
                    LengthCase{"5F 41 01 41 02 FF 00", 6}, LengthCase{"82 1C 01", 0},
                    // Items that declare more bytes than remain measure past the end.
                    LengthCase{"45 01", 6}, LengthCase{"82 01 45 01", 8},
                    LengthCase{"5A FF FF FF FF 00", 0xFFFFFFFF}, LengthCase{"82 01 19 01", 5},
                    // A container whose head fills the data, or is cut off.
                    LengthCase{"82", 1}, LengthCase{"99 00", 0}));

TEST(Lookup, Counts) {
  EXPECT_EQ(HeapBytes("A3 01 01 02 02 03 03").view().Count(), 3);
  EXPECT_EQ(HeapBytes("9F FF").view().Count(), static_cast<int32_t>(CBOR_INDEFINITE));
  EXPECT_EQ(HeapBytes("BF FF").view().Count(), static_cast<int32_t>(CBOR_INDEFINITE));
  EXPECT_EQ(HeapBytes("7F FF").view().Count(), static_cast<int32_t>(CBOR_INDEFINITE));
  EXPECT_EQ(HeapBytes("43 01 02 03").view().Count(), 3);
  EXPECT_EQ(HeapBytes("D8 18 82 01 02").view().Count(), 2);
  EXPECT_EQ(HeapBytes("18 64").view().Count(), 0);
  EXPECT_EQ(HeapBytes("F5").view().Count(), 0);
}

TEST(Lookup, IndefiniteStringsHaveNoBytes) {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  std::string text;
  EXPECT_FALSE(HeapBytes("5F 41 01 FF").view().GetBytes(bytes, length));
  EXPECT_FALSE(HeapBytes("7F 61 61 FF").view().GetText(text));
  HeapBytes tagged("D8 18 42 01 02");
  EXPECT_TRUE(tagged.view().GetBytes(bytes, length));
  EXPECT_EQ(bytes, tagged.data() + 3);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(bytes[1], 0x02);
}

}  // namespace
