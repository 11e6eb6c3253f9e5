#include "cbor/cbor_base.h"

namespace {

// Writes the shortest tag head for `tag` when `capacity` holds it; answers
// the bytes written, 0 when it does not fit.
uint32_t EncodeTagHead(uint32_t tag, uint8_t* out, uint32_t capacity) {
  uint32_t argumentBytes = tag <= 23 ? 0 : tag <= 0xFF ? 1 : tag <= 0xFFFF ? 2 : 4;
  uint32_t length = 1 + argumentBytes;
  if (capacity < length) return 0;
  static constexpr uint8_t kInfoByArgumentBytes[] = {0, 24, 25, 0, 26};
  out[0] =
      static_cast<uint8_t>(0xC0 | (argumentBytes == 0 ? tag : kInfoByArgumentBytes[argumentBytes]));
  for (uint32_t i = 0; i < argumentBytes; ++i) {
    out[1 + i] = static_cast<uint8_t>(tag >> (8 * (argumentBytes - 1 - i)));
  }
  return length;
}

}  // namespace

uint32_t CborBase::Encode(uint8_t* out, uint32_t capacity) const {
  if (out == nullptr) return 0;
  uint32_t written = tag_ == CBOR_NO_TAG ? 0 : EncodeTagHead(tag_, out, capacity);
  if (written + 1 > capacity) return written;
  out[written] = static_cast<uint8_t>((major_ << 5) | (info_ & 0x1F));
  return written + 1;
}

const CborBase& CborBase::ElementAt(uint32_t) const { return Null(); }

const CborBase& CborBase::ValueAtIntKey(uint32_t) const { return Null(); }

const CborBase& CborBase::ValueAtIndex(uint32_t) const { return Null(); }

void CborBase::Dump(FILE* out) const {
  if (out == nullptr) return;
  if (tag_ != CBOR_NO_TAG) fprintf(out, "(%lu) ", static_cast<unsigned long>(tag_));
  fprintf(out, "null\r\n");
}

const CborBase& CborBase::Null() {
  static const CborBase kNull(7, 22, CBOR_NO_TAG);
  return kNull;
}
