// Verifies a certificate chain (leaf first, then intermediates) up to one of
// a set of roots. Signatures, names, CA and key-usage rules are checked by
// mbedTLS; validity periods are checked here against the caller's time, so
// that an authentic but expired chain can be told apart from a false one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata/certificate_list.h"

struct ChainCheck {
  bool trusted = false;
  // Why not trusted, as what the chain does: "does not end at a trusted root".
  std::string failure;
  std::string leafName;  // common name of the leaf
  std::string rootName;  // the root reached, when trusted
  // When trusted: the first certificate of the chain that is not valid at
  // the given time, as a clause ("the certificate X expired on 2022-05-14");
  // empty when every certificate is valid.
  std::string timeProblem;
  // When trusted: the certificates verified, leaf first, the root reached
  // last; they point into the lists given, and live as long as those.
  std::vector<mbedtls_x509_crt*> path;
};

// `chain` must hold at least the leaf.
ChainCheck CheckCertificateChain(CertificateList& chain, CertificateList& roots,
                                 int64_t nowUnixSeconds);

// The name a root or signer is shown by: its common name, or its
// organizational unit when that names it more precisely (a CN of
// "GlobalSign" with the OU "GlobalSign Root CA - R3").
std::string DisplayNameOf(const mbedtls_x509_crt& certificate);
