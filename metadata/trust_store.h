// The roots a metadata file's signing chain may end at: the built-in roots
// and any the user names; and the revocation lists it is checked against.
#pragma once

#include <string>
#include <vector>

#include "metadata/certificate_list.h"
#include "metadata/revocation_list.h"

class TrustStore {
 public:
  // Holds the built-in roots when `withBuiltInRoots`.
  explicit TrustStore(bool withBuiltInRoots = true);
  // Holds `builtInRoots` (PEM or DER each) as if they were the built-in ones.
  explicit TrustStore(const std::vector<std::vector<uint8_t>>& builtInRoots);

  // A root from a PEM or DER file; false with one sentence in `error` when
  // the file cannot be read or holds no certificate.
  bool AddRootFile(const std::string& path, std::string& error);
  bool AddRoot(const std::vector<uint8_t>& pemOrDer) { return roots_.AddPemOrDer(pemOrDer); }

  CertificateList& roots() { return roots_; }
  // Whether `root` is one of the built-in roots (a root the user names as
  // well stays built-in).
  bool IsBuiltIn(const mbedtls_x509_crt& root);

  RevocationLists& revocationLists() { return revocationLists_; }

 private:
  void AddBuiltIn(const std::vector<uint8_t>& pemOrDer);

  CertificateList roots_;
  CertificateList builtIn_;
  RevocationLists revocationLists_;
};
