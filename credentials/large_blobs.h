// Reading the serialized large-blob array (authenticatorLargeBlobs get) and
// checking it. The entries are counted, never decrypted.
#pragma once

#include <cstdint>
#include <vector>

#include "cbor/cbor_writer.h"
#include "credentials/answer_members.h"
#include "transport/ctaphid.h"

constexpr uint8_t CTAP_LARGE_BLOBS = 0x0C;

// The bound when GetInfo gives no maxSerializedLargeBlobArray.
constexpr uint32_t LARGE_BLOB_DEFAULT_BOUND = 65536;
// GetInfo's maxMsgSize when it gives none, and the least it may say.
constexpr uint32_t CTAP_DEFAULT_MAX_MSG_SIZE = 1024;

// {1: count, 3: offset}, command byte first; answers the length.
uint32_t WriteLargeBlobGetRequest(uint32_t count, uint32_t offset,
                                  uint8_t request[CTAP_REQUEST_BUFFER_SIZE]);

// Reads {1: config} and points `piece` into `answer`. A missing config is a
// wrong type: the key owes it.
int32_t ReadLargeBlobAnswer(const uint8_t* answer, uint32_t length, const uint8_t*& piece,
                            uint32_t& pieceLength);

constexpr int32_t LARGE_BLOB_MORE = 0;      // ask again at offset()
constexpr int32_t LARGE_BLOB_DONE = 1;      // a short piece ended the array
constexpr int32_t LARGE_BLOB_AT_BOUND = 2;  // stopped at the bound; the array may go on
constexpr int32_t LARGE_BLOB_TOO_LONG = 3;  // a piece longer than asked; nothing kept of it

// Gathers the pieces. `maxMsgSize` and `maxArray` as GetInfo gives them, 0
// when it does not.
class LargeBlobAccumulator {
 public:
  LargeBlobAccumulator(uint32_t maxMsgSize, uint32_t maxArray);

  // The count and offset of the next get.
  uint32_t count() const;
  uint32_t offset() const { return static_cast<uint32_t>(bytes_.size()); }
  uint32_t bound() const { return bound_; }

  int32_t Add(const uint8_t* piece, uint32_t length);
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  uint32_t pieceLength_;
  uint32_t bound_;
  std::vector<uint8_t> bytes_;
};

constexpr int32_t LARGE_BLOB_DIGEST_OK = 0;
constexpr int32_t LARGE_BLOB_DIGEST_WRONG = 1;
constexpr int32_t LARGE_BLOB_TOO_SHORT = 2;  // fewer than the 17 bytes of an empty array

struct LargeBlobCheck {
  int32_t digest = LARGE_BLOB_TOO_SHORT;
  int32_t entries = -1;  // -1: the array before the digest cannot be read
};

// The last 16 bytes must be the left half of SHA-256 of what precedes them;
// that must be one definite CBOR array, exactly.
LargeBlobCheck CheckLargeBlobArray(const uint8_t* data, uint32_t length);
