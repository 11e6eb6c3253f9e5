// The roots a metadata file's signing chain may end at: the built-in roots
// and any the user names.
#pragma once

#include <string>

#include "metadata/certificate_list.h"

class TrustStore {
 public:
  // Holds the built-in roots when `withBuiltInRoots`.
  explicit TrustStore(bool withBuiltInRoots = true);

  // A root from a PEM or DER file; false with one sentence in `error` when
  // the file cannot be read or holds no certificate.
  bool AddRootFile(const std::string& path, std::string& error);
  bool AddRoot(const std::vector<uint8_t>& pemOrDer) { return roots_.AddPemOrDer(pemOrDer); }

  CertificateList& roots() { return roots_; }

 private:
  CertificateList roots_;
};
