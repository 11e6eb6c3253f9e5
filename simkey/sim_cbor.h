// The key's own CBOR encoder for its answers: canonical (shortest) heads,
// definite lengths only, into a growing buffer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class SimCborOut {
 public:
  void Head(uint8_t major, uint64_t argument);
  void Unsigned(uint64_t value) { Head(0, value); }
  void Int(int64_t value);
  void Bytes(const uint8_t* data, size_t length);
  void Text(std::string_view text);
  void Bool(bool value) { bytes_.push_back(value ? 0xF5 : 0xF4); }
  void Map(size_t pairs) { Head(5, pairs); }
  void Array(size_t count) { Head(4, count); }
  // An item encoded elsewhere, as it is.
  void Raw(const std::vector<uint8_t>& encoded) {
    bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
  }

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};
