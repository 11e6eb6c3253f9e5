#include "keyinfo/hex_encode.h"

size_t HexEncode(char* buffer, size_t capacity, const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (buffer == nullptr || count > capacity / 2) return 0;
  for (size_t i = 0; i < count; ++i) {
    buffer[2 * i] = kDigits[bytes[i] >> 4];
    buffer[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return 2 * count;
}

std::string LowerHex(const uint8_t* bytes, size_t count, size_t limit) {
  static const char kDigits[] = "0123456789abcdef";
  const size_t shown = count < limit ? count : limit;
  std::string text;
  text.reserve(2 * shown);
  for (size_t i = 0; i < shown; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string UpperHex(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.size() * 2, '\0');
  HexEncode(text.data(), text.size(), bytes.data(), bytes.size());
  return text;
}
