#include "attestation/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(Base64, EncodeTable) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {"", ""},        {"A", "QQ=="},        {"AB", "QUI="},
      {"ABC", "QUJD"}, {"ABCD", "QUJDRA=="}, {std::string("\xFF\xFE\x00", 3), "//4A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
              c.text)
        << c.text;
  }
}

TEST(Base64, DecodeTable) {
  const struct {
    std::string text;
    size_t length;  // characters to read at most
    std::string bytes;
  } cases[] = {
      {"QUJD", 4, "ABC"},
      {"QQ==", 4, "A"},
      {"QUI=", 4, "AB"},
      {"QUJD\r\nRA==", 10, "ABCD"},              // line breaks skipped
      {"Q U\tJ D", 7, "ABC"},                    // white space too
      {"QUJDRA==", 4, "ABC"},                    // the length bounds the reading
      {std::string("QUJD\0RA==", 9), 9, "ABC"},  // so does a zero character
      {"//4A", 4, std::string("\xFF\xFE\x00", 3)},
      {"QUJDR", 5, "ABC"},  // a lone last character adds no byte
      {"Q=", 2, ""},        // invalid padding: empty
      {"QUJDR=", 6, ""},
      {"QUJDR==", 7, ""},
      {"QUJDR=A", 7, ""},
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    std::vector<char> exact(c.text.begin(), c.text.end());
    EXPECT_EQ(Base64Decode(exact.data(), c.length), Bytes(c.bytes)) << c.text;
  }
}

TEST(Base64, RoundTripOfEveryLength) {
  std::vector<uint8_t> bytes;
  for (int length = 0; length < 70; ++length) {
    const std::string text = Base64Encode(bytes.data(), bytes.size());
    EXPECT_EQ(text.size() % 4, 0u);
    EXPECT_EQ(Base64Decode(text.c_str(), text.size()), bytes) << length;
    bytes.push_back(static_cast<uint8_t>(length * 37 + 11));
  }
}

}  // namespace
