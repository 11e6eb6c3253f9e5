#include "cbor/cbor_head.h"

#include <limits>

namespace {

// One head without tag unwrapping:
//
//   +--------+-------------------------------+
//   | MMMIIIII | 0, 1, 2, 4 or 8 argument bytes |
//   +--------+-------------------------------+
//
// An 8-byte argument that does not fit 32 bits reads as 0xFFFFFFFF, so the
// item is still passed over with its true length.
struct SingleHead {
  uint8_t major = 0;
  uint8_t info = 0;
  uint8_t length = 0;
  uint32_t argument = 0;
};

CborHeadStatus ReadSingle(const uint8_t* p, uint64_t available, SingleHead& out) {
  if (available == 0) return CborHeadStatus::kCutOff;
  out.major = p[0] >> 5;
  out.info = p[0] & 0x1F;
  uint8_t argumentBytes = 0;
  if (out.info < 24 || out.info == CBOR_INFO_INDEFINITE) {
    out.argument = out.info;
  } else if (out.info <= 27) {
    argumentBytes = static_cast<uint8_t>(1u << (out.info - 24));
  } else {
    return CborHeadStatus::kMalformed;
  }
  out.length = static_cast<uint8_t>(1 + argumentBytes);
  if (available < out.length) return CborHeadStatus::kCutOff;
  if (argumentBytes > 0) {
    uint64_t value = 0;
    for (uint8_t i = 1; i <= argumentBytes; ++i) value = (value << 8) | p[i];
    out.argument = value > std::numeric_limits<uint32_t>::max()
                       ? std::numeric_limits<uint32_t>::max()
                       : static_cast<uint32_t>(value);
  }
  return CborHeadStatus::kRead;
}

}  // namespace

CborHeadStatus CborHead::Read(const uint8_t* p, uint32_t available) {
  *this = CborHead();
  if (p == nullptr) return CborHeadStatus::kMalformed;

  SingleHead first;
  CborHeadStatus status = ReadSingle(p, available, first);
  if (status != CborHeadStatus::kRead) return status;

  if (first.major != CBOR_MAJOR_TAG) {
    major = first.major;
    info = first.info;
    headLength = first.length;
    argument = first.argument;
    return CborHeadStatus::kRead;
  }

  // A tag: the tagged item's own head follows the tag head.
  SingleHead second;
  status = ReadSingle(p + first.length, static_cast<uint64_t>(available) - first.length, second);
  if (status != CborHeadStatus::kRead) return status;
  tag = first.argument;
  major = second.major;
  info = second.info;
  headLength = static_cast<uint8_t>(first.length + second.length);
  argument = second.argument;
  return CborHeadStatus::kRead;
}

void CborHead::ParseHead(const uint8_t* p, uint32_t available) { Read(p, available); }

void CborHead::ParseHead(const uint8_t* p) { Read(p, std::numeric_limits<uint32_t>::max()); }
