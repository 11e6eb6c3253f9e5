#include "metadata/base64url.h"

#include <array>
#include <string>

namespace {

constexpr uint8_t kInvalid = 0xFF;

using DecodeTable = std::array<uint8_t, 256>;

constexpr DecodeTable MakeTable(char char62, char char63) {
  DecodeTable table{};
  for (uint8_t& value : table) value = kInvalid;
  for (int i = 0; i < 26; ++i) {
    table['A' + i] = static_cast<uint8_t>(i);
    table['a' + i] = static_cast<uint8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<uint8_t>(52 + i);
  table[static_cast<uint8_t>(char62)] = 62;
  table[static_cast<uint8_t>(char63)] = 63;
  return table;
}

constexpr DecodeTable kUrlTable = MakeTable('-', '_');
constexpr DecodeTable kStandardTable = MakeTable('+', '/');

bool Decode(std::string_view text, const DecodeTable& table, std::vector<uint8_t>& out,
            bool strictTrailingBits = true) {
  out.clear();
  if (text.size() % 4 == 1) return false;
  out.reserve(text.size() / 4 * 3 + 2);
  uint32_t accumulator = 0;
  int bits = 0;
  for (char c : text) {
    const uint8_t value = table[static_cast<uint8_t>(c)];
    if (value == kInvalid) {
      out.clear();
      return false;
    }
    accumulator = (accumulator << 6) | value;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(accumulator >> bits));
      accumulator &= (1u << bits) - 1;
    }
  }
  if (strictTrailingBits && accumulator != 0) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace

bool DecodeBase64Url(std::string_view text, std::vector<uint8_t>& out) {
  return Decode(text, kUrlTable, out);
}

bool DecodeBase64Standard(std::string_view text, std::vector<uint8_t>& out) {
  // Padding, when present, completes the last group of four.
  if (text.size() % 4 == 0) {
    size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
      ++padding;
    }
    text.remove_suffix(padding);
  }
  return Decode(text, kStandardTable, out);
}

bool DecodeBase64Loose(std::string_view text, std::vector<uint8_t>& out) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') compact += c;
  }
  while (!compact.empty() && compact.back() == '=') compact.pop_back();
  return Decode(compact, kStandardTable, out, false);
}
