// One CBOR item head (RFC 8949), with one level of tag unwrapped.
#pragma once

#include <cstdint>

constexpr uint32_t CBOR_NO_TAG = 255;

// Major types and the additional-information values the code names.
constexpr uint8_t CBOR_MAJOR_UNSIGNED = 0;
constexpr uint8_t CBOR_MAJOR_NEGATIVE = 1;
constexpr uint8_t CBOR_MAJOR_BYTES = 2;
constexpr uint8_t CBOR_MAJOR_TEXT = 3;
constexpr uint8_t CBOR_MAJOR_ARRAY = 4;
constexpr uint8_t CBOR_MAJOR_MAP = 5;
constexpr uint8_t CBOR_MAJOR_TAG = 6;
constexpr uint8_t CBOR_MAJOR_SIMPLE = 7;
constexpr uint8_t CBOR_INFO_INDEFINITE = 31;
constexpr uint8_t CBOR_SIMPLE_FALSE = 20;
constexpr uint8_t CBOR_SIMPLE_TRUE = 21;
constexpr uint8_t CBOR_SIMPLE_NULL = 22;
constexpr uint8_t CBOR_BREAK = 0xFF;
// What CborView::Count() answers for an item of indefinite length.
constexpr uint32_t CBOR_INDEFINITE = 0x7EEEEEEE;

// Why a head could or could not be read.
enum class CborHeadStatus : uint8_t {
  kRead,
  kCutOff,     // the head needs more bytes than are available
  kMalformed,  // additional information 28..30, or a null pointer
};

struct CborHead {
  uint32_t tag = CBOR_NO_TAG;
  uint8_t major = 7;
  uint8_t info = 22;
  uint8_t headLength = 0;  // 0: no head could be read (null pointer, cut off, malformed)
  uint32_t argument = 0;

  // Reads the head at `p` without a bound (the caller's buffer is zero-filled
  // past the data).
  void ParseHead(const uint8_t* p);
  // Reads the head at `p` within `available` bytes; a head that does not fit
  // leaves headLength 0.
  void ParseHead(const uint8_t* p, uint32_t available);
  // As ParseHead(p, available), telling why no head was read. Any failure
  // leaves the record with its values before reading (the null head).
  CborHeadStatus Read(const uint8_t* p, uint32_t available);
};
