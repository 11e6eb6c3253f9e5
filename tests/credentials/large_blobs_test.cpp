#include <gtest/gtest.h>

#include "credentials/large_blobs.h"
#include "tests/credentials/hex_bytes.h"

namespace {

// The empty array and its digest, as python3-fido2 initialises a key.
const std::string kEmpty = "8076be8b528d0075f7aae98d6fa57a6d3c";

TEST(LargeBlobs, DigestAndEntries) {
  // 82 a0 a0 with the left half of its SHA-256 (python3-fido2's hashing).
  struct Case {
    std::string hex;
    int32_t digest;
    int32_t entries;
  } cases[] = {
      {kEmpty, LARGE_BLOB_DIGEST_OK, 0},
      {"8076be8b528d0075f7aae98d6fa57a6d3d", LARGE_BLOB_DIGEST_WRONG, 0},
      {"76be8b528d0075f7aae98d6fa57a6d3c", LARGE_BLOB_TOO_SHORT, -1},
      {"", LARGE_BLOB_TOO_SHORT, -1},
      {"a0" + kEmpty.substr(2), LARGE_BLOB_DIGEST_WRONG, -1},    // no array
      {"82a0" + kEmpty.substr(2), LARGE_BLOB_DIGEST_WRONG, -1},  // cut off
      {"9bffffffffffffffff" + kEmpty.substr(2), LARGE_BLOB_DIGEST_WRONG, -1},
      {"98ffffff" + kEmpty.substr(2), LARGE_BLOB_DIGEST_WRONG, -1},  // break ends a definite array
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> data = HexBytes(c.hex);
    const LargeBlobCheck check =
        CheckLargeBlobArray(data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(check.digest, c.digest) << c.hex;
    EXPECT_EQ(check.entries, c.entries) << c.hex;
  }
}

TEST(LargeBlobs, AccumulatorStopsAtShortPieceAndBound) {
  const std::vector<uint8_t> piece(2000, 0x5A);
  LargeBlobAccumulator pieces(1024, 0);
  EXPECT_EQ(pieces.count(), 960u);
  EXPECT_EQ(pieces.Add(piece.data(), 960), LARGE_BLOB_MORE);
  EXPECT_EQ(pieces.offset(), 960u);
  EXPECT_EQ(pieces.Add(piece.data(), 961), LARGE_BLOB_TOO_LONG);
  EXPECT_EQ(pieces.Add(piece.data(), 17), LARGE_BLOB_DONE);
  EXPECT_EQ(pieces.bytes().size(), 977u);

  LargeBlobAccumulator bounded(2048, 2000);  // the last get asks only up to the bound
  EXPECT_EQ(bounded.Add(piece.data(), 1984), LARGE_BLOB_MORE);
  EXPECT_EQ(bounded.count(), 16u);
  EXPECT_EQ(bounded.Add(piece.data(), 16), LARGE_BLOB_AT_BOUND);
  EXPECT_EQ(LargeBlobAccumulator(100000, 0).count(),
            static_cast<uint32_t>(CTAPHID_MAX_MESSAGE - 64));
  EXPECT_EQ(LargeBlobAccumulator(0, 0).bound(), LARGE_BLOB_DEFAULT_BOUND);

  const std::vector<uint8_t> answer = HexBytes("a101428076");
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(ReadLargeBlobAnswer(answer.data(), 5, data, length), ANSWER_OK);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(data, answer.data() + 3);
  EXPECT_EQ(ReadLargeBlobAnswer(answer.data(), 4, data, length), ANSWER_UNREADABLE);
  EXPECT_EQ(ReadLargeBlobAnswer(answer.data(), 0, data, length), ANSWER_WRONG_TYPE);
}

}  // namespace
