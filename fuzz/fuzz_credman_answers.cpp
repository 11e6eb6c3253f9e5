// Every reader of credential-management, fingerprint and large-blob answers,
// and of what GetInfo says about them, on arbitrary bytes, which live in a
// heap block of exactly their size so a read past them trips AddressSanitizer. The large-blob accumulator takes the
// input in pieces, as a key would send it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "credentials/bio_enrollment.h"
#include "credentials/credman_answers.h"
#include "credentials/large_blobs.h"
#include "credentials/store_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::unique_ptr<uint8_t[]> answer(new uint8_t[size]);
  if (size != 0) std::memcpy(answer.get(), data, size);
  const uint32_t length = static_cast<uint32_t>(size);

  CredsMetadata metadata;
  ReadCredsMetadata(answer.get(), length, metadata);
  RelyingPartyAnswer rp;
  if (ReadRelyingPartyAnswer(answer.get(), length, rp) == ANSWER_OK && rp.rpIdHash &&
      rp.rpIdHash->size() != 32) {
    __builtin_trap();
  }
  CredentialAnswer credential;
  if (ReadCredentialAnswer(answer.get(), length, credential) == ANSWER_OK &&
      credential.publicKey.size() > size) {
    __builtin_trap();
  }
  // The same bytes as a GetInfo answer.
  const StoreFacts facts = ReadStoreFacts(answer.get(), length);
  if (facts.pinUvAuthProtocols.size() > size) __builtin_trap();

  const uint32_t calls = GetNextCallsAllowed(rp.totalRps, CredmanCountBound(metadata));
  if (calls >= CREDMAN_COUNT_CEILING) __builtin_trap();

  FingerprintSensorInfo info;
  ReadFingerprintSensorInfo(answer.get(), length, info);
  std::vector<Enrollment> enrollments;
  ReadEnrollments(answer.get(), length, enrollments);
  if (enrollments.size() > size) __builtin_trap();

  const uint8_t* piece = nullptr;
  uint32_t pieceLength = 0;
  if (ReadLargeBlobAnswer(answer.get(), length, piece, pieceLength) == ANSWER_OK &&
      (piece < answer.get() || piece + pieceLength > answer.get() + size)) {
    __builtin_trap();
  }

  LargeBlobAccumulator pieces(1024, 4096);
  uint32_t offset = 0;
  while (true) {
    const uint32_t take = std::min(pieces.count(), length - offset);
    const int32_t step = pieces.Add(answer.get() + offset, take);
    offset += take;
    if (step != LARGE_BLOB_MORE) break;
  }
  const LargeBlobCheck check =
      CheckLargeBlobArray(pieces.bytes().data(), static_cast<uint32_t>(pieces.bytes().size()));
  if (check.entries > static_cast<int32_t>(size)) __builtin_trap();
  return 0;
}
