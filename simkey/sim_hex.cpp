#include "simkey/sim_hex.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool SimParseHex(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<uint8_t>(high * 16 + low));
    i += 2;
  }
  return true;
}

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

}  // namespace

std::string SimHexText(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::string SimHexNumber(uint32_t value, int digits) {
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0 && value != 0; --i, value >>= 4) {
    text[static_cast<size_t>(i)] = kDigits[value & 0x0F];
  }
  return text;
}
