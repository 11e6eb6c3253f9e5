#include "metadata/revocation_list.h"

#include <mbedtls/md.h>
#include <mbedtls/pem.h>

#include <algorithm>
#include <cstring>

#include "metadata/certificate_list.h"
#include "metadata/chain_check.h"
#include "metadata/utc_date.h"

namespace {

bool SameBytes(const mbedtls_x509_buf& a, const mbedtls_x509_buf& b) {
  return a.len == b.len && a.len != 0 && std::memcmp(a.p, b.p, a.len) == 0;
}

bool IsCurrent(const mbedtls_x509_crl& crl, int64_t now) {
  if (now < UnixSecondsOf(crl.this_update)) return false;
  return crl.next_update.year == 0 || now < UnixSecondsOf(crl.next_update);
}

const mbedtls_x509_crl_entry* FindEntry(const mbedtls_x509_crl& crl,
                                        const mbedtls_x509_crt& certificate) {
  for (const mbedtls_x509_crl_entry* entry = &crl.entry; entry != nullptr; entry = entry->next) {
    if (SameBytes(entry->serial, certificate.serial)) return entry;
  }
  return nullptr;
}

}  // namespace

RevocationLists::RevocationLists() { mbedtls_x509_crl_init(&list_); }

RevocationLists::~RevocationLists() { mbedtls_x509_crl_free(&list_); }

void RevocationLists::Clear() {
  mbedtls_x509_crl_free(&list_);
  mbedtls_x509_crl_init(&list_);
  count_ = 0;
}

size_t RevocationLists::AddPemOrDer(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return 0;
  // mbedTLS wants PEM text terminated; a DER list is parsed as it stands.
  static const std::string kPemStart = "-----BEGIN X509 CRL-----";
  std::vector<uint8_t> input(bytes);
  if (std::search(input.begin(), input.end(), kPemStart.begin(), kPemStart.end()) != input.end()) {
    input.push_back(0);
  }
  mbedtls_x509_crl_parse(&list_, input.data(), input.size());
  size_t parsed = 0;
  for (mbedtls_x509_crl* crl = &list_; crl != nullptr; crl = crl->next) {
    if (crl->version != 0) ++parsed;
  }
  const size_t added = parsed - count_;
  count_ = parsed;
  return added;
}

std::string RevocationLists::NewestPem() {
  std::vector<mbedtls_x509_crl*> held;
  for (mbedtls_x509_crl* crl = head(); crl != nullptr; crl = crl->next) {
    if (crl->version != 0) held.push_back(crl);
  }
  std::string pem;
  for (size_t i = 0; i < held.size(); ++i) {
    bool newest = true;
    for (size_t j = 0; j < held.size() && newest; ++j) {
      if (j == i || !SameBytes(held[j]->issuer_raw, held[i]->issuer_raw)) continue;
      const int64_t mine = UnixSecondsOf(held[i]->this_update);
      const int64_t theirs = UnixSecondsOf(held[j]->this_update);
      // Of two of one date, the first held is kept.
      newest = theirs < mine || (theirs == mine && i < j);
    }
    if (!newest) continue;
    std::vector<unsigned char> text(held[i]->raw.len * 2 + 128);
    size_t length = 0;
    if (mbedtls_pem_write_buffer("-----BEGIN X509 CRL-----\n", "-----END X509 CRL-----\n",
                                 held[i]->raw.p, held[i]->raw.len, text.data(), text.size(),
                                 &length) == 0 &&
        length > 0) {
      pem.append(reinterpret_cast<const char*>(text.data()), length - 1);  // less its NUL
    }
  }
  return pem;
}

bool CrlSignedBy(const mbedtls_x509_crl& crl, mbedtls_x509_crt& issuer) {
  if (!SameBytes(crl.issuer_raw, issuer.subject_raw)) return false;
  if (mbedtls_x509_crt_check_key_usage(&issuer, MBEDTLS_X509_KU_CRL_SIGN) != 0) return false;
  const mbedtls_md_info_t* md = mbedtls_md_info_from_type(crl.sig_md);
  if (md == nullptr) return false;
  unsigned char hash[MBEDTLS_MD_MAX_SIZE];
  if (mbedtls_md(md, crl.tbs.p, crl.tbs.len, hash) != 0) return false;
  return mbedtls_pk_verify_ext(crl.sig_pk, crl.sig_opts, &issuer.pk, crl.sig_md, hash,
                               mbedtls_md_get_size(md), crl.sig.p, crl.sig.len) == 0;
}

bool ListsSignedBy(const std::vector<uint8_t>& crlBytes, const std::vector<uint8_t>& issuerDer) {
  CertificateList issuer;
  RevocationLists lists;
  if (!issuer.AddDer(issuerDer) || lists.AddPemOrDer(crlBytes) == 0) return false;
  for (mbedtls_x509_crl* crl = lists.head(); crl != nullptr; crl = crl->next) {
    if (crl->version != 0 && !CrlSignedBy(*crl, *issuer.head())) return false;
  }
  return true;
}

RevocationCheck CheckRevocation(const std::vector<mbedtls_x509_crt*>& path, RevocationLists& lists,
                                int64_t nowUnixSeconds) {
  RevocationCheck check;
  bool covered = path.size() > 1;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    bool certificateCovered = false;
    for (mbedtls_x509_crl* crl = lists.head(); crl != nullptr; crl = crl->next) {
      if (crl->version == 0 || !CrlSignedBy(*crl, *path[i + 1])) continue;
      if (const mbedtls_x509_crl_entry* entry = FindEntry(*crl, *path[i])) {
        check.revoked = "the certificate " + DisplayNameOf(*path[i]) +
                        " of its signing chain was revoked on " +
                        FormatIsoDate(UnixSecondsOf(entry->revocation_date));
        return check;
      }
      if (IsCurrent(*crl, nowUnixSeconds)) certificateCovered = true;
    }
    covered = covered && certificateCovered;
  }
  check.covered = covered;
  return check;
}
