// Steps through the items nested in one encoded array, map or
// indefinite-length string, in encoding order and at every depth. Used by the
// lookups of CborView; reads nothing outside [data, data + size).
#pragma once

#include <cstdint>
#include <vector>

#include "cbor/cbor_head.h"

class CborWalk {
 public:
  enum class Step : uint8_t {
    kItem,       // an item was read; see head(), complete(), ranOff()
    kCutOff,     // the next head does not fit in the data
    kMalformed,  // the next head is malformed
    kFinished,   // the outer item was already complete, or had no content
  };

  // `outer` is the head already read at `data`; `size` bounds every read.
  CborWalk(const uint8_t* data, uint32_t size, const CborHead& outer);

  Step Next();

  // The item read by the last Next().
  const CborHead& head() const { return head_; }
  uint64_t itemOffset() const { return itemOffset_; }
  // Where the walk goes on: past the item's head (and a definite string's
  // bytes). May lie beyond `size` when the item declares more than remains.
  uint64_t offset() const { return offset_; }
  // The item is a member of the outer item itself, not of a nested container.
  bool memberOfOuter() const { return memberOfOuter_; }
  // No nested container is open after the item.
  bool atOuterLevel() const { return pending_.empty(); }
  // The outer item ended with the item just read.
  bool complete() const { return complete_; }
  // The item reached or passed the end of the data.
  bool ranOff() const { return offset_ >= size_; }

 private:
  // Items still expected in the innermost open container. 64 bits, so twice a
  // 32-bit pair count neither wraps nor meets the indefinite marker.
  static constexpr uint64_t kIndefinite = UINT64_MAX;

  void Open(uint64_t remaining, uint64_t count);

  const uint8_t* data_;
  uint64_t size_;
  uint64_t offset_;
  uint64_t expected_;
  std::vector<uint64_t> pending_;  // counts of the enclosing open containers
  CborHead head_;
  uint64_t itemOffset_ = 0;
  bool memberOfOuter_ = false;
  bool complete_ = false;
};
