// A metadata file read, verified and indexed: the verdict on it, and, unless
// it was rejected, its entries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "metadata/mds_index.h"
#include "metadata/mds_payload.h"
#include "metadata/trust_store.h"
#include "metadata/utc_date.h"

enum class MdsVerdict {
  kNone,       // nothing loaded
  kRejected,   // malformed, false signature, or no trusted chain: nothing shown
  kOutOfDate,  // authentic, but a certificate expired or nextUpdate passed
  kCurrent,
};

struct MdsCrlSource {
  std::string address;
  std::vector<uint8_t> issuer;
};

// The largest file read; the published file is a few megabytes.
constexpr size_t MDS_MAX_FILE_BYTES = 64u * 1024 * 1024;

struct MdsBlob {
  MdsVerdict verdict = MdsVerdict::kNone;
  // kRejected: one sentence why. kOutOfDate: one sentence saying why it is
  // out of date. Otherwise empty.
  std::string message;
  // kOutOfDate: the reason alone ("its next update was due on 2025-01-01").
  std::string outOfDateReason;
  std::string source;      // the file's path, when read from a file
  std::string signerName;  // the leaf of the signing chain
  std::string rootName;    // the trusted root it reached
  // Accepted only. The signing chain is not valid now (a certificate expired,
  // not yet valid, or revoked): the clause verdicts give as their reason ("the
  // metadata's signature expired on 2025-12-31: update it"); empty when valid.
  std::string signerProblem;
  // Accepted only: the payload's nextUpdate ("YYYY-MM-DD") when it has
  // passed, else empty.
  std::string nextUpdatePassed;
  // Accepted only: every certificate of the signing chain below its root is
  // covered by a current revocation list its issuer signed (a revoked one
  // rejects the file).
  bool revocationChecked = false;
  // Accepted only: where the lists that may revoke the signing chain are
  // published (its certificates' CRL distribution points, http or https),
  // each with the certificate (DER) that must have signed the list.
  std::vector<MdsCrlSource> crlSources;
  MdsPayload payload;  // empty unless accepted
  MdsIndex index;

  MdsBlob() = default;
  MdsBlob(const MdsBlob&) = delete;
  MdsBlob& operator=(const MdsBlob&) = delete;

  bool accepted() const {
    return verdict == MdsVerdict::kCurrent || verdict == MdsVerdict::kOutOfDate;
  }
};

// Back to no verdict and nothing loaded.
void ClearMdsBlob(MdsBlob& blob);

// Verifies and reads `bytes` at the clock's time into `blob`, which is
// replaced whole.
void LoadMdsBlob(const uint8_t* bytes, size_t length, TrustStore& trust, const WallClock& clock,
                 MdsBlob& blob);
// The same for a file; a file that cannot be read is rejected with why.
void LoadMdsFile(const std::string& path, TrustStore& trust, const WallClock& clock, MdsBlob& blob);
