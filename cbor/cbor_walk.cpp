#include "cbor/cbor_walk.h"

namespace {}  // namespace

CborWalk::CborWalk(const uint8_t* data, uint32_t size, const CborHead& outer)
    : data_(data), size_(size), offset_(outer.headLength), expected_(0) {
  bool container = outer.major == CBOR_MAJOR_ARRAY || outer.major == CBOR_MAJOR_MAP;
  bool string = outer.major == CBOR_MAJOR_BYTES || outer.major == CBOR_MAJOR_TEXT;
  if (outer.headLength == 0 || !(container || string)) {
    complete_ = true;
  } else if (outer.info == CBOR_INFO_INDEFINITE) {
    expected_ = kIndefinite;
  } else if (container) {
    expected_ = outer.major == CBOR_MAJOR_MAP ? 2 * uint64_t{outer.argument} : outer.argument;
  }
  // A definite string has no nested items.
  if (expected_ == 0) complete_ = true;
}

void CborWalk::Open(uint64_t remaining, uint64_t count) {
  pending_.push_back(remaining);
  expected_ = count;
}

CborWalk::Step CborWalk::Next() {
  if (complete_ || offset_ >= size_) return Step::kFinished;

  uint64_t remaining = expected_ == kIndefinite ? kIndefinite : expected_ - 1;
  CborHeadStatus status = head_.Read(data_ + offset_, static_cast<uint32_t>(size_ - offset_));
  if (status == CborHeadStatus::kCutOff) return Step::kCutOff;
  if (status != CborHeadStatus::kRead) return Step::kMalformed;
  // A break code ends only an indefinite-length item; inside a counted one it
  // would let a short container pass for a whole one.
  if (head_.major == CBOR_MAJOR_SIMPLE && head_.info == CBOR_INFO_INDEFINITE &&
      expected_ != kIndefinite) {
    return Step::kMalformed;
  }

  itemOffset_ = offset_;
  memberOfOuter_ = pending_.empty();
  offset_ += head_.headLength;
  bool indefinite = head_.info == CBOR_INFO_INDEFINITE;
  switch (head_.major) {
    case CBOR_MAJOR_MAP:
    case CBOR_MAJOR_ARRAY: {
      uint64_t count =
          head_.major == CBOR_MAJOR_MAP ? 2 * uint64_t{head_.argument} : head_.argument;
      if (indefinite) {
        Open(remaining, kIndefinite);
      } else if (count > 0) {
        Open(remaining, count);
      } else {
        expected_ = remaining;
      }
      break;
    }
    case CBOR_MAJOR_BYTES:
    case CBOR_MAJOR_TEXT:
      if (indefinite) {
        Open(remaining, kIndefinite);  // its chunks follow as items
      } else {
        expected_ = remaining;
        offset_ += head_.argument;
      }
      break;
    default:
      expected_ = remaining;
      break;
  }

  // Close every container that this item completed; a break code closes the
  // innermost open container once.
  bool isBreak = head_.major == CBOR_MAJOR_SIMPLE && indefinite;
  while (expected_ == 0 || isBreak) {
    isBreak = false;
    if (pending_.empty()) {
      complete_ = true;
      break;
    }
    expected_ = pending_.back();
    pending_.pop_back();
  }
  return Step::kItem;
}
