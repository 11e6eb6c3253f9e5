#include "cbor/cbor_writer.h"

#include <cstring>

#include "cbor/cbor_head.h"

namespace {

// Bytes of the shortest head for `argument`.
uint32_t HeadSize(uint32_t argument) {
  return argument <= 23 ? 1 : argument <= 0xFF ? 2 : argument <= 0xFFFF ? 3 : 5;
}

}  // namespace

uint32_t CborWriter::WriteHead(uint8_t major, uint32_t argument) {
  if (buffer_ == nullptr) return 0;
  uint32_t length = HeadSize(argument);
  if (room() < length) return 0;

  uint8_t* out = buffer_ + position_;
  uint8_t initial = static_cast<uint8_t>((major & 0x07) << 5);
  switch (length) {
    case 1:
      out[0] = static_cast<uint8_t>(initial | argument);
      break;
    case 2:
      out[0] = initial | 24;
      out[1] = static_cast<uint8_t>(argument);
      break;
    case 3:
      out[0] = initial | 25;
      out[1] = static_cast<uint8_t>(argument >> 8);
      out[2] = static_cast<uint8_t>(argument);
      break;
    default:
      out[0] = initial | 26;
      out[1] = static_cast<uint8_t>(argument >> 24);
      out[2] = static_cast<uint8_t>(argument >> 16);
      out[3] = static_cast<uint8_t>(argument >> 8);
      out[4] = static_cast<uint8_t>(argument);
      break;
  }
  position_ += length;
  return length;
}

void CborWriter::WriteInt(int64_t value) {
  // Only 32-bit arguments are written: a value outside -2^32 .. 2^32 - 1
  // writes nothing.
  uint64_t argument = value >= 0 ? static_cast<uint64_t>(value) : static_cast<uint64_t>(-1 - value);
  if (argument > UINT32_MAX) return;
  WriteHead(value >= 0 ? CBOR_MAJOR_UNSIGNED : CBOR_MAJOR_NEGATIVE,
            static_cast<uint32_t>(argument));
}

void CborWriter::WriteString(uint8_t major, const void* bytes, uint32_t length) {
  if (buffer_ == nullptr || (bytes == nullptr && length != 0)) return;
  if (uint64_t{room()} < uint64_t{HeadSize(length)} + length) return;
  WriteHead(major, length);
  if (length != 0) std::memcpy(buffer_ + position_, bytes, length);
  position_ += length;
}

void CborWriter::WriteBytes(const uint8_t* data, uint32_t length) {
  WriteString(CBOR_MAJOR_BYTES, data, length);
}

void CborWriter::WriteText(const char* text, uint32_t length) {
  WriteString(CBOR_MAJOR_TEXT, text, length);
}

void CborWriter::WriteMap(uint32_t pairs) { WriteHead(CBOR_MAJOR_MAP, pairs); }

void CborWriter::WriteArray(uint32_t count) { WriteHead(CBOR_MAJOR_ARRAY, count); }
