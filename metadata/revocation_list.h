// Certificate revocation lists, and the check of a signing chain against
// them. mbedTLS's own check judges time by the system clock; this one takes
// the caller's, as the chain check does.
#pragma once

#include <mbedtls/x509_crl.h>
#include <mbedtls/x509_crt.h>

#include <cstdint>
#include <string>
#include <vector>

class RevocationLists {
 public:
  RevocationLists();
  ~RevocationLists();
  RevocationLists(const RevocationLists&) = delete;
  RevocationLists& operator=(const RevocationLists&) = delete;

  // One DER list or any number of PEM ones; answers how many were added.
  size_t AddPemOrDer(const std::vector<uint8_t>& bytes);
  void Clear();
  bool empty() const { return count_ == 0; }
  // Null when empty; the rest follow through `next`.
  mbedtls_x509_crl* head() { return count_ == 0 ? nullptr : &list_; }
  // PEM text of the newest list (by thisUpdate) of each issuer held.
  std::string NewestPem();

 private:
  mbedtls_x509_crl list_;
  size_t count_ = 0;
};

// Whether `crl` names `issuer` as its issuer, `issuer` may sign lists and
// the list's signature verifies with its key.
bool CrlSignedBy(const mbedtls_x509_crl& crl, mbedtls_x509_crt& issuer);

// Whether `crlBytes` hold one or more lists, every one signed by the
// certificate `issuerDer`.
bool ListsSignedBy(const std::vector<uint8_t>& crlBytes, const std::vector<uint8_t>& issuerDer);

struct RevocationCheck {
  // Every certificate of the path below its root is covered by a list its
  // issuer signed that is current at the given time.
  bool covered = false;
  // The first revoked certificate as a clause ("the certificate X of its
  // signing chain was revoked on 2024-05-01"); empty when none is.
  std::string revoked;
};

// `path`: leaf first, the trusted root last. Any authentic list, current or
// not, can revoke: a revocation is never taken back.
RevocationCheck CheckRevocation(const std::vector<mbedtls_x509_crt*>& path, RevocationLists& lists,
                                int64_t nowUnixSeconds);
