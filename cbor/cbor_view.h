// A non-owning view of one encoded CBOR item, read in place. Every lookup
// walks the encoded bytes again from the view; a failed lookup is the empty
// view, which reads as CBOR null through every later lookup and accessor.
// Nothing is read outside [data, data + size).
#pragma once

#include <cstdint>
#include <string>

#include "cbor/cbor_head.h"

struct CborView {
  const uint8_t* data = nullptr;
  uint32_t size = 0;  // bytes from data to the end of the caller's buffer

  CborView() = default;
  CborView(const uint8_t* d, uint32_t s) : data(d), size(s) {}

  bool IsEmpty() const { return data == nullptr || size == 0; }

  uint32_t ItemLength() const;
  CborView FindIntKey(int32_t key) const;
  CborView FindTextKey(const char* name, uint32_t length) const;
  template <uint32_t N>
  CborView FindTextKey(const char (&name)[N]) const {
    return FindTextKey(name, N - 1);
  }
  CborView ElementAt(int32_t index) const;

  int32_t Count() const;
  bool GetUnsigned(uint32_t& out) const;
  bool GetBytes(const uint8_t*& outData, uint32_t& outLength) const;
  bool GetText(std::string& outString) const;
  uint8_t GetSimple() const;

  // The head of the item at the view, read within `size`; the null head for
  // the empty view or a head that is cut off or malformed.
  CborHead Head() const;
};
