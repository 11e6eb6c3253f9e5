#include "metadata/attestation_chain.h"

#include <mbedtls/md.h>
#include <mbedtls/pk.h>

#include <cstring>

#include "metadata/certificate_list.h"
#include "metadata/chain_check.h"

namespace {

using Kind = AttestationChainResult::Kind;

bool SameBuf(const mbedtls_x509_buf& a, const mbedtls_x509_buf& b) {
  return a.len == b.len && (a.len == 0 || std::memcmp(a.p, b.p, a.len) == 0);
}

bool IssuedBy(const mbedtls_x509_crt& child, const mbedtls_x509_crt& parent) {
  return SameBuf(child.issuer_raw, parent.subject_raw);
}

bool SelfIssued(const mbedtls_x509_crt& certificate) {
  return SameBuf(certificate.issuer_raw, certificate.subject_raw);
}

// Whether `parent`'s key made `child`'s signature.
bool SignedBy(const mbedtls_x509_crt& child, mbedtls_x509_crt& parent) {
  const mbedtls_md_info_t* md = mbedtls_md_info_from_type(child.sig_md);
  if (md == nullptr) return false;
  unsigned char hash[MBEDTLS_MD_MAX_SIZE];
  if (mbedtls_md(md, child.tbs.p, child.tbs.len, hash) != 0) return false;
  return mbedtls_pk_verify_ext(child.sig_pk, child.sig_opts, &parent.pk, child.sig_md, hash,
                               mbedtls_md_get_size(md), child.sig.p, child.sig.len) == 0;
}

mbedtls_x509_crt* FindIssuer(const mbedtls_x509_crt& child, CertificateList& list) {
  for (mbedtls_x509_crt* candidate = list.head(); candidate != nullptr;
       candidate = candidate->next) {
    if (candidate->raw.len != 0 && candidate != &child && IssuedBy(child, *candidate)) {
      return candidate;
    }
  }
  return nullptr;
}

void AddAll(CertificateList& list, const std::vector<std::vector<uint8_t>>& certificates) {
  for (const std::vector<uint8_t>& der : certificates) list.AddDer(der);
}

// Follows the sent chain from the leaf by issuer names, checking each
// signature on the way, until a certificate whose issuer was not sent.
// Answers that certificate, or null after a forged link (told in `result`).
mbedtls_x509_crt* TopOfSentChain(CertificateList& chain, size_t sent,
                                 AttestationChainResult& result) {
  mbedtls_x509_crt* current = chain.head();
  for (size_t step = 0; step < sent && !SelfIssued(*current); ++step) {
    mbedtls_x509_crt* issuer = FindIssuer(*current, chain);
    if (issuer == nullptr) break;
    if (!SignedBy(*current, *issuer)) {
      result.kind = Kind::kForgedIssuer;
      result.clause = "the certificate " + DisplayNameOf(*current) + " names " +
                      DisplayNameOf(*issuer) + " as its issuer, but that certificate's key did " +
                      "not sign it";
      return nullptr;
    }
    current = issuer;
  }
  return current;
}

}  // namespace

AttestationChainResult CheckAttestationChain(const std::vector<std::vector<uint8_t>>& chain,
                                             const std::vector<std::vector<uint8_t>>& modelRoots,
                                             const OtherRootsSource& otherRoots,
                                             int64_t nowUnixSeconds) {
  AttestationChainResult result;
  CertificateList sent;
  if (chain.empty() || !sent.AddDer(chain.front())) {
    result.clause =
        "the attestation certificate cannot be read or uses an algorithm that is not checked";
    return result;
  }
  size_t unreadable = 0;
  for (size_t i = 1; i < chain.size(); ++i) {
    if (!sent.AddDer(chain[i])) ++unreadable;
  }

  CertificateList roots;
  AddAll(roots, modelRoots);
  const ChainCheck check = CheckCertificateChain(sent, roots, nowUnixSeconds);
  if (check.trusted) {
    result.kind = Kind::kTrusted;
    result.rootName = check.rootName;
    result.timeProblem = check.timeProblem;
    return result;
  }

  mbedtls_x509_crt* top = TopOfSentChain(sent, sent.size(), result);
  if (top == nullptr) return result;
  for (mbedtls_x509_crt* root = roots.head(); root != nullptr; root = root->next) {
    if (!IssuedBy(*top, *root)) continue;
    if (!SignedBy(*top, *root)) {
      result.kind = Kind::kForgedIssuer;
      result.clause = "the certificate " + DisplayNameOf(*top) + " names the model's root " +
                      DisplayNameOf(*root) + " as its issuer, but that root did not sign it";
      return result;
    }
    // Signed by the model's root, yet refused: an algorithm, a validity rule
    // or an extension the check does not accept.
    result.clause = "its attestation chain " + check.failure;
    return result;
  }

  if (const std::vector<std::vector<uint8_t>> otherDers = otherRoots(); !otherDers.empty()) {
    CertificateList others;
    AddAll(others, otherDers);
    const ChainCheck other = CheckCertificateChain(sent, others, nowUnixSeconds);
    if (other.trusted) {
      result.kind = Kind::kOtherRoot;
      result.rootName = other.rootName;
      for (mbedtls_x509_crt* root = others.head(); root != nullptr; root = root->next) {
        if (DisplayNameOf(*root) == other.rootName &&
            (IssuedBy(*top, *root) || SameBuf(top->raw, root->raw))) {
          result.otherRoot.assign(root->raw.p, root->raw.p + root->raw.len);
          break;
        }
      }
      return result;
    }
  }

  if (SelfIssued(*top)) {
    result.kind = Kind::kUntrustedRoot;
    result.rootName = DisplayNameOf(*top);
    return result;
  }
  result.kind = Kind::kIncomplete;
  result.clause = "the chain cannot be completed: the issuer of " + DisplayNameOf(*top) + " (" +
                  CommonNameOf(top->issuer) +
                  ") was not sent and is no root the metadata lists for this model; an "
                  "intermediate certificate may be missing";
  if (unreadable != 0) result.clause += " (a certificate the key sent cannot be read)";
  return result;
}
