#include "credentials/large_blobs.h"

#include <mbedtls/sha256.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kDigestLength = 16;
// What the answer's own CBOR and status need around a piece.
constexpr uint32_t kMessageOverhead = 64;

}  // namespace

uint32_t WriteLargeBlobGetRequest(uint32_t count, uint32_t offset,
                                  uint8_t request[CTAP_REQUEST_BUFFER_SIZE]) {
  request[0] = CTAP_LARGE_BLOBS;
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(2);
  writer.WriteInt(1);
  writer.WriteInt(count);
  writer.WriteInt(3);
  writer.WriteInt(offset);
  return 1 + writer.position();
}

int32_t ReadLargeBlobAnswer(const uint8_t* answer, uint32_t length, const uint8_t*& piece,
                            uint32_t& pieceLength) {
  piece = nullptr;
  pieceLength = 0;
  CborView map;
  if (OpenAnswerMap(answer, length, map) != ANSWER_OK) return ANSWER_UNREADABLE;
  const CborView config = map.FindIntKey(0x01);
  const uint8_t* data = nullptr;
  uint32_t dataLength = 0;
  if (!config.GetBytes(data, dataLength)) return ANSWER_WRONG_TYPE;
  piece = data;
  pieceLength = dataLength;
  return ANSWER_OK;
}

LargeBlobAccumulator::LargeBlobAccumulator(uint32_t maxMsgSize, uint32_t maxArray) {
  const uint32_t message =
      std::clamp(maxMsgSize, CTAP_DEFAULT_MAX_MSG_SIZE, static_cast<uint32_t>(CTAPHID_MAX_MESSAGE));
  pieceLength_ = message - kMessageOverhead;
  bound_ = maxArray != 0 ? std::min(maxArray, LARGE_BLOB_DEFAULT_BOUND) : LARGE_BLOB_DEFAULT_BOUND;
}

uint32_t LargeBlobAccumulator::count() const { return std::min(pieceLength_, bound_ - offset()); }

int32_t LargeBlobAccumulator::Add(const uint8_t* piece, uint32_t length) {
  const uint32_t asked = count();
  if (length > asked || (length != 0 && piece == nullptr)) return LARGE_BLOB_TOO_LONG;
  bytes_.insert(bytes_.end(), piece, piece + length);
  if (length < asked) return LARGE_BLOB_DONE;
  if (offset() >= bound_) return LARGE_BLOB_AT_BOUND;
  return LARGE_BLOB_MORE;
}

LargeBlobCheck CheckLargeBlobArray(const uint8_t* data, uint32_t length) {
  LargeBlobCheck check;
  if (data == nullptr || length <= kDigestLength) return check;
  const uint32_t arrayLength = length - kDigestLength;
  uint8_t digest[32];
  mbedtls_sha256_ret(data, arrayLength, digest, 0);
  check.digest = std::memcmp(digest, data + arrayLength, kDigestLength) == 0
                     ? LARGE_BLOB_DIGEST_OK
                     : LARGE_BLOB_DIGEST_WRONG;
  const CborView array(data, arrayLength);
  const CborHead head = array.Head();
  if (head.major == CBOR_MAJOR_ARRAY && head.info != CBOR_INFO_INDEFINITE &&
      WholeItemLength(data, arrayLength) == arrayLength) {
    check.entries = static_cast<int32_t>(head.argument);
  }
  return check;
}
