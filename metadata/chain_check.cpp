#include "metadata/chain_check.h"

#include <mbedtls/oid.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "metadata/utc_date.h"

namespace {

// SHA-256 and stronger, RSA keys of 2048 bits or more, any curve mbedTLS
// knows.
const mbedtls_x509_crt_profile kProfile = {
    MBEDTLS_X509_ID_FLAG(MBEDTLS_MD_SHA256) | MBEDTLS_X509_ID_FLAG(MBEDTLS_MD_SHA384) |
        MBEDTLS_X509_ID_FLAG(MBEDTLS_MD_SHA512),
    0xFFFFFFF,
    0xFFFFFFF,
    2048,
};

constexpr uint32_t kTimeFlags = MBEDTLS_X509_BADCERT_EXPIRED | MBEDTLS_X509_BADCERT_FUTURE;

struct VerifiedCertificate {
  mbedtls_x509_crt* certificate;
  int depth;
  std::string name;
  int64_t notBefore;
  int64_t notAfter;
};

int CollectCertificate(void* context, mbedtls_x509_crt* certificate, int depth, uint32_t* flags) {
  auto* collected = static_cast<std::vector<VerifiedCertificate>*>(context);
  collected->push_back({certificate, depth, DisplayNameOf(*certificate),
                        UnixSecondsOf(certificate->valid_from),
                        UnixSecondsOf(certificate->valid_to)});
  // Validity is judged against the caller's clock, below.
  *flags &= ~kTimeFlags;
  return 0;
}

std::string FailureClause(uint32_t flags) {
  if (flags & MBEDTLS_X509_BADCERT_NOT_TRUSTED) return "does not end at a trusted root";
  if (flags &
      (MBEDTLS_X509_BADCERT_BAD_MD | MBEDTLS_X509_BADCERT_BAD_PK | MBEDTLS_X509_BADCERT_BAD_KEY)) {
    return "holds a certificate with a weak or unsupported algorithm or key";
  }
  if (flags & (MBEDTLS_X509_BADCERT_KEY_USAGE | MBEDTLS_X509_BADCERT_EXT_KEY_USAGE)) {
    return "holds a certificate that may not sign certificates";
  }
  if (flags & MBEDTLS_X509_BADCERT_REVOKED) return "holds a revoked certificate";
  char text[512];
  const int length = mbedtls_x509_crt_verify_info(text, sizeof text, "", flags);
  std::string info = length > 0 ? std::string(text, static_cast<size_t>(length)) : "";
  while (!info.empty() && (info.back() == '\n' || info.back() == ' ')) info.pop_back();
  for (char& c : info) {
    if (c == '\n') c = ';';
  }
  return "is not valid (" + (info.empty() ? "unknown reason" : info) + ")";
}

bool SameDer(const mbedtls_x509_crt& a, const mbedtls_x509_crt& b) {
  return a.raw.len == b.raw.len && std::memcmp(a.raw.p, b.raw.p, a.raw.len) == 0;
}

}  // namespace

std::string DisplayNameOf(const mbedtls_x509_crt& certificate) {
  std::string commonName, unit;
  for (const mbedtls_x509_name* part = &certificate.subject; part != nullptr; part = part->next) {
    const std::string value(reinterpret_cast<const char*>(part->val.p), part->val.len);
    if (commonName.empty() && MBEDTLS_OID_CMP(MBEDTLS_OID_AT_CN, &part->oid) == 0) {
      commonName = value;
    } else if (unit.empty() && MBEDTLS_OID_CMP(MBEDTLS_OID_AT_ORG_UNIT, &part->oid) == 0) {
      unit = value;
    }
  }
  if (!commonName.empty() && unit.size() > commonName.size() &&
      unit.compare(0, commonName.size(), commonName) == 0) {
    return unit;
  }
  return commonName.empty() ? CommonNameOf(certificate.subject) : commonName;
}

ChainCheck CheckCertificateChain(CertificateList& chain, CertificateList& roots,
                                 int64_t nowUnixSeconds) {
  ChainCheck check;
  mbedtls_x509_crt* leaf = chain.head();
  if (leaf == nullptr) {
    check.failure = "holds no certificate";
    return check;
  }
  check.leafName = DisplayNameOf(*leaf);
  if (roots.empty()) {
    check.failure = "has no trusted root to be checked against";
    return check;
  }

  std::vector<VerifiedCertificate> verified;
  // A leaf that is itself one of the roots is trusted as it stands.
  for (mbedtls_x509_crt* root = roots.head(); root != nullptr; root = root->next) {
    if (root->raw.len != 0 && SameDer(*leaf, *root)) {
      verified.push_back({leaf, 0, DisplayNameOf(*leaf), UnixSecondsOf(leaf->valid_from),
                          UnixSecondsOf(leaf->valid_to)});
      break;
    }
  }
  if (verified.empty()) {
    uint32_t flags = 0;
    const int result = mbedtls_x509_crt_verify_with_profile(
        leaf, roots.head(), nullptr, &kProfile, nullptr, &flags, CollectCertificate, &verified);
    if (result != 0 || flags != 0) {
      check.failure = FailureClause(flags != 0 ? flags : MBEDTLS_X509_BADCERT_OTHER);
      return check;
    }
  }

  check.trusted = true;
  int topDepth = -1;
  for (const VerifiedCertificate& certificate : verified) {
    if (certificate.depth > topDepth) {
      topDepth = certificate.depth;
      check.rootName = certificate.name;
    }
  }
  std::sort(
      verified.begin(), verified.end(),
      [](const VerifiedCertificate& a, const VerifiedCertificate& b) { return a.depth < b.depth; });
  for (const VerifiedCertificate& certificate : verified) {
    check.path.push_back(certificate.certificate);
  }
  for (auto it = verified.begin(); it != verified.end(); ++it) {
    if (nowUnixSeconds > it->notAfter) {
      check.timeProblem =
          "the certificate " + it->name + " expired on " + FormatIsoDate(it->notAfter);
      break;
    }
    if (nowUnixSeconds < it->notBefore) {
      check.timeProblem =
          "the certificate " + it->name + " is not valid before " + FormatIsoDate(it->notBefore);
      break;
    }
  }
  return check;
}
