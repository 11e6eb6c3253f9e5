#include "metadata/mds_blob.h"

#include <exception>
#include <string_view>

#include "metadata/chain_check.h"
#include "metadata/compact_jws.h"
#include "metadata/file_bytes.h"
#include "metadata/jws_signature.h"

namespace {

void ClearMdsBlobImpl(MdsBlob& blob) {
  blob.verdict = MdsVerdict::kNone;
  blob.message.clear();
  blob.outOfDateReason.clear();
  blob.signerName.clear();
  blob.rootName.clear();
  blob.signerProblem.clear();
  blob.nextUpdatePassed.clear();
  blob.revocationChecked = false;
  blob.index.Clear();
  blob.payload = MdsPayload();
}

void Reject(MdsBlob& blob, const std::string& clause) {
  ClearMdsBlobImpl(blob);
  blob.verdict = MdsVerdict::kRejected;
  blob.message = "The metadata file is rejected: " + clause + ".";
}

// Everything but the verdict's bookkeeping; answers the rejection clause.
std::string Verify(const uint8_t* bytes, size_t length, TrustStore& trust, int64_t now,
                   MdsBlob& blob) {
  if (length == 0) return "it is empty";
  if (length > MDS_MAX_FILE_BYTES) return "it is too large";
  CompactJws jws;
  const std::string_view text(reinterpret_cast<const char*>(bytes), length);
  if (std::string error = ReadCompactJws(text, jws); !error.empty()) return error;

  CertificateList chain;
  for (const std::vector<uint8_t>& der : jws.header.x5c) {
    if (!chain.AddDer(der)) return "a certificate of the header's chain cannot be read";
  }
  if (std::string error =
          CheckJwsSignature(jws.header.algorithm, *chain.head(), jws.signingInput, jws.signature);
      !error.empty()) {
    return error;
  }
  const ChainCheck check = CheckCertificateChain(chain, trust.roots(), now);
  if (!check.trusted) return "its signing chain " + check.failure;

  if (std::string error = ReadMdsPayload(jws.payload.data(), jws.payload.size(), blob.payload);
      !error.empty()) {
    return error;
  }
  blob.signerName = check.leafName;
  blob.rootName = check.rootName;
  if (!check.timeProblem.empty()) {
    blob.outOfDateReason = check.timeProblem;
    blob.signerProblem =
        "the metadata's signing chain is not valid now (" + check.timeProblem + "): update it";
  } else if (now >= blob.payload.nextUpdateUnixSeconds) {
    blob.outOfDateReason = "its next update was due on " + blob.payload.nextUpdate;
  }
  if (now >= blob.payload.nextUpdateUnixSeconds) blob.nextUpdatePassed = blob.payload.nextUpdate;
  if (!blob.outOfDateReason.empty()) {
    blob.verdict = MdsVerdict::kOutOfDate;
    blob.message = "The metadata file is out of date: " + blob.outOfDateReason + ".";
  } else {
    blob.verdict = MdsVerdict::kCurrent;
  }
  blob.index.Build(blob.payload);
  return {};
}

}  // namespace

void ClearMdsBlob(MdsBlob& blob) {
  ClearMdsBlobImpl(blob);
  blob.source.clear();
}

void LoadMdsBlob(const uint8_t* bytes, size_t length, TrustStore& trust, const WallClock& clock,
                 MdsBlob& blob) {
  ClearMdsBlobImpl(blob);
  std::string clause;
  try {
    clause = Verify(bytes, length, trust, clock.NowUnixSeconds(), blob);
  } catch (const std::exception&) {
    clause = "it cannot be read";
  }
  if (!clause.empty()) Reject(blob, clause);
}

void LoadMdsFile(const std::string& path, TrustStore& trust, const WallClock& clock,
                 MdsBlob& blob) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFileBytes(path, MDS_MAX_FILE_BYTES, bytes, error)) {
    ClearMdsBlobImpl(blob);
    blob.verdict = MdsVerdict::kRejected;
    blob.message = error;
  } else {
    LoadMdsBlob(bytes.data(), bytes.size(), trust, clock, blob);
  }
  blob.source = path;
}
