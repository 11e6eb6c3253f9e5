// Reads what a key stores with a token it is handed: the discoverable
// credentials through credential management, the fingerprints through bio
// enrollment and the large-blob array. It owns no PIN dialog and changes
// nothing on the key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "credentials/bio_enrollment.h"
#include "credentials/credman_answers.h"
#include "credentials/large_blobs.h"
#include "credentials/store_facts.h"

// A pinUvAuthToken as the PIN flow got it; the caller owns and wipes it.
struct ReadingToken {
  uint8_t protocol = 0;  // 1 or 2
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  bool valid() const { return (protocol == 1 || protocol == 2) && bytes != nullptr && length > 0; }
};

struct StoredRp {
  RelyingPartyAnswer rp;
  std::vector<CredentialAnswer> credentials;
};

struct StoredReading {
  // 0, or the CTAP status or transport code that ended the reading before
  // anything was listed (getCredsMetadata refused, for one).
  int32_t status = 0;
  bool listed = false;  // credential management answered
  CredsMetadata metadata;
  std::vector<StoredRp> rps;
  bool fingerprintsRead = false;
  bool sensorRead = false;
  FingerprintSensorInfo sensor;
  std::vector<Enrollment> enrollments;
  bool largeBlobRead = false;
  uint32_t largeBlobMax = 0;  // the bound the array was read within
  uint32_t largeBlobBytes = 0;
  LargeBlobCheck largeBlob;
  // Why the reading stopped before its end, as a sentence; empty when whole.
  std::string stoppedShort;
};

// `cm` holds the cm or pcmr permission; `be`, when valid, the be permission
// (it may be `cm` itself). Fingerprints are enumerated only with a valid
// `be`. Every answer is read through the bounded readers and every count is
// bounded by the key's own maximum.
StoredReading ReadStoredCredentials(const StoreFacts& facts, const ReadingToken& cm,
                                    const ReadingToken& be);
