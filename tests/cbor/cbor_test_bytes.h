// Test helpers: encoded items written as hexadecimal text, held in heap blocks
// of exactly their size so that a read past the end leaves the block.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cbor/cbor_view.h"

// "A2 01 02" to its bytes; spaces are ignored.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    int nibble = std::isdigit(static_cast<unsigned char>(c))
                     ? c - '0'
                     : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return bytes;
}

class HeapBytes {
 public:
  // The first `length` bytes of `bytes` (all of them by default).
  explicit HeapBytes(const std::vector<uint8_t>& bytes, size_t length = SIZE_MAX)
      : size_(length < bytes.size() ? length : bytes.size()),
        block_(new uint8_t[size_ == 0 ? 1 : size_]) {
    if (size_ != 0) std::memcpy(block_.get(), bytes.data(), size_);
  }
  explicit HeapBytes(const std::string& hex, size_t length = SIZE_MAX)
      : HeapBytes(Hex(hex), length) {}

  const uint8_t* data() const { return block_.get(); }
  uint32_t size() const { return static_cast<uint32_t>(size_); }
  CborView view() const { return CborView(data(), size()); }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> block_;
};

inline std::string TextOf(const CborView& view) {
  std::string text;
  return view.GetText(text) ? text : std::string("<no text>");
}
