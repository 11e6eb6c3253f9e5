#include <gtest/gtest.h>

#include "transport/utf8_bound.h"

namespace {

TEST(Utf8BoundTest, CutsAtCharacterBoundariesCountingUtf16Units) {
  struct Case {
    std::string text;
    size_t units;
    std::string expected;
  };
  const Case cases[] = {
      {"Security Key", 63, "Security Key"},
      {"abcdef", 3, "abc"},
      {"ab\xC3\xA9", 3, "ab\xC3\xA9"},  // é is one unit
      {"a\xF0\x9F\x94\x91", 2, "a"},    // a key emoji needs two units
      {"a\xF0\x9F\x94\x91", 3, "a\xF0\x9F\x94\x91"},
      {"\xE2\x80\x99x", 1, "\xE2\x80\x99"},
      {"x\xE2", 5, "x\xE2"},  // a cut-off lead byte counts as one
      {"", 10, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8BoundUtf16Units(c.text, c.units), c.expected);
}

TEST(Utf8BoundTest, ProductNameHoldsAtMost63Units) {
  EXPECT_EQ(Utf8BoundUtf16Units(std::string(100, 'k'), 63).size(), 63u);
}

}  // namespace
