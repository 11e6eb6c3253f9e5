// The key's own reader for CBOR requests: the whole request becomes a small
// tree of items. Definite lengths only; tags, floats and indefinite lengths
// are refused, as are items that run past the bytes received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

struct SimCborItem {
  enum Major : int {
    kUnsigned = 0,
    kNegative = 1,
    kBytes = 2,
    kText = 3,
    kArray = 4,
    kMap = 5,
    kSimple = 7
  };
  int major = -1;                  // -1: absent (what a failed lookup answers)
  uint64_t argument = 0;           // the head's value; for kSimple the simple value
  std::vector<uint8_t> bytes;      // byte or text string contents
  std::vector<SimCborItem> items;  // array entries; for a map, key and value alternating

  bool present() const { return major >= 0; }
  bool IsInt() const { return major == kUnsigned || major == kNegative; }
  // The integer value of kUnsigned and kNegative items; 0 for any other.
  int64_t Int() const;
  bool IsText(std::string_view text) const;
  bool IsTrue() const { return major == kSimple && argument == 21; }
  // Map lookups; an absent item when there is no such key.
  const SimCborItem& Find(int64_t key) const;
  const SimCborItem& Find(std::string_view key) const;
};

// False when `data` does not hold exactly one well-formed item.
bool SimReadCbor(const uint8_t* data, size_t length, SimCborItem& out);
