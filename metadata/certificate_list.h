// A list of X.509 certificates parsed by mbedTLS and owned here: the x5c
// chain of a signed file or of an attestation, or a set of trusted roots.
#pragma once

#include <mbedtls/x509_crt.h>

#include <cstdint>
#include <string>
#include <vector>

class CertificateList {
 public:
  CertificateList();
  ~CertificateList();
  CertificateList(const CertificateList&) = delete;
  CertificateList& operator=(const CertificateList&) = delete;

  // Appends one DER certificate; false when mbedTLS cannot parse it (the
  // list is left as it was).
  bool AddDer(const uint8_t* der, size_t length);
  bool AddDer(const std::vector<uint8_t>& der) { return AddDer(der.data(), der.size()); }
  // PEM (one or more certificates) or DER. False when nothing was added.
  bool AddPemOrDer(const std::vector<uint8_t>& bytes);

  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  // The first certificate; the rest follow through `next`. Null when empty.
  mbedtls_x509_crt* head() { return count_ == 0 ? nullptr : &list_; }

 private:
  mbedtls_x509_crt list_;
  size_t count_ = 0;
};

// The first common name of a distinguished name, else its whole text.
std::string CommonNameOf(const mbedtls_x509_name& name);

// Seconds since 1970 of an mbedTLS certificate time (UTC).
int64_t UnixSecondsOf(const mbedtls_x509_time& time);
