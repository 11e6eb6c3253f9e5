// The polymorphic CBOR item. The system keeps one constant instance of it, the
// null item; all decoding goes through CborView.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cbor/cbor_head.h"

class CborBase {
 public:
  CborBase(uint8_t major, uint8_t info, uint32_t tag) : major_(major), info_(info), tag_(tag) {}
  virtual ~CborBase() = default;

  // Writes the tag head and the initial byte; answers the bytes written.
  virtual uint32_t Encode(uint8_t* out, uint32_t capacity) const;
  virtual uint32_t ItemCount() const { return 0; }
  virtual uint32_t IntegerValue() const { return 0; }
  virtual const CborBase& ElementAt(uint32_t index) const;
  virtual const CborBase& ValueAtIntKey(uint32_t key) const;
  virtual const CborBase& ValueAtIndex(uint32_t index) const;
  // Prints the item as text on `out` (standard output by default).
  virtual void Dump(FILE* out = stdout) const;

  uint8_t major() const { return major_; }
  uint8_t info() const { return info_; }
  uint32_t tag() const { return tag_; }

  static const CborBase& Null();

 private:
  uint8_t major_;
  uint8_t info_;
  uint32_t tag_;
};
