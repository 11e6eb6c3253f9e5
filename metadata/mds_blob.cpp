#include "metadata/mds_blob.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "metadata/chain_check.h"
#include "metadata/compact_jws.h"
#include "metadata/crl_distribution_points.h"
#include "metadata/file_bytes.h"
#include "metadata/jws_signature.h"
#include "metadata/metadata_signer.h"

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
  blob.crlSources.clear();
  blob.index.Clear();
  blob.payload = MdsPayload();
}

constexpr size_t kMaxCrlAddresses = 8;

// The distribution points of every certificate of `path` but its root.
std::vector<MdsCrlSource> CrlSourcesOf(const std::vector<mbedtls_x509_crt*>& path) {
  std::vector<MdsCrlSource> sources;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    const mbedtls_x509_buf& issuer = path[i + 1]->raw;
    for (std::string& address : CrlDistributionPointsOf(*path[i])) {
      const bool known = std::any_of(sources.begin(), sources.end(),
                                     [&](const MdsCrlSource& s) { return s.address == address; });
      if (sources.size() < kMaxCrlAddresses && !known) {
        sources.push_back({std::move(address), {issuer.p, issuer.p + issuer.len}});
      }
    }
  }
  return sources;
}

// A signing chain that expired says when the file's signature stopped
// counting; one not valid yet says which certificate.
std::string SignerTimeProblem(const ChainCheck& check, int64_t now) {
  const mbedtls_x509_crt* expired = nullptr;
  for (const mbedtls_x509_crt* certificate : check.path) {
    if (now > UnixSecondsOf(certificate->valid_to) &&
        (expired == nullptr ||
         UnixSecondsOf(certificate->valid_to) < UnixSecondsOf(expired->valid_to))) {
      expired = certificate;
    }
  }
  if (expired == nullptr)
    return "the metadata's signing chain is not valid now (" + check.timeProblem + ")";
  return "the metadata's signature expired on " + FormatIsoDate(UnixSecondsOf(expired->valid_to)) +
         " (the certificate " + DisplayNameOf(*expired) + " of its signing chain): update it";
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
  if (std::string problem =
          MetadataSignerProblem(*chain.head(), trust.IsBuiltIn(*check.path.back()), check.rootName);
      !problem.empty()) {
    return problem;
  }
  const RevocationCheck revocation = CheckRevocation(check.path, trust.revocationLists(), now);
  if (!revocation.revoked.empty()) return revocation.revoked;

  if (std::string error = ReadMdsPayload(jws.payload.data(), jws.payload.size(), blob.payload);
      !error.empty()) {
    return error;
  }
  blob.signerName = check.leafName;
  blob.rootName = check.rootName;
  blob.revocationChecked = revocation.covered;
  blob.crlSources = CrlSourcesOf(check.path);
  if (!check.timeProblem.empty()) {
    blob.outOfDateReason = check.timeProblem;
    blob.signerProblem = SignerTimeProblem(check, now);
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
