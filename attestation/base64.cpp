#include "attestation/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int AlphabetValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const uint8_t* bytes, size_t length) {
  std::string text;
  if (bytes == nullptr) return text;
  text.reserve((length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
    text += kAlphabet[group >> 18 & 0x3F];
    text += kAlphabet[group >> 12 & 0x3F];
    text += kAlphabet[group >> 6 & 0x3F];
    text += kAlphabet[group & 0x3F];
  }
  const size_t rest = length - i;
  if (rest == 1) {
    const uint32_t group = bytes[i] << 16;
    text += kAlphabet[group >> 18 & 0x3F];
    text += kAlphabet[group >> 12 & 0x3F];
    text += "==";
  } else if (rest == 2) {
    const uint32_t group = bytes[i] << 16 | bytes[i + 1] << 8;
    text += kAlphabet[group >> 18 & 0x3F];
    text += kAlphabet[group >> 12 & 0x3F];
    text += kAlphabet[group >> 6 & 0x3F];
    text += '=';
  }
  return text;
}

std::vector<uint8_t> Base64Decode(const char* text, size_t length) {
  std::vector<uint8_t> bytes;
  if (text == nullptr) return bytes;
  uint32_t bits = 0;
  size_t characters = 0;  // alphabet characters read so far
  for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
    const char c = text[i];
    if (c == '=') {
      const bool followedByPad = i + 1 < length && text[i + 1] == '=';
      if (!followedByPad && characters % 4 == 1) return {};
      continue;
    }
    const int value = AlphabetValue(c);
    if (value < 0) continue;
    bits = bits << 6 | static_cast<uint32_t>(value);
    switch (characters++ % 4) {
      case 1:
        bytes.push_back(static_cast<uint8_t>(bits >> 4));
        break;
      case 2:
        bytes.push_back(static_cast<uint8_t>(bits >> 2));
        break;
      case 3:
        bytes.push_back(static_cast<uint8_t>(bits));
        bits = 0;
        break;
      default:
        break;
    }
  }
  return bytes;
}
