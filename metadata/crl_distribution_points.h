// The CRL distribution points of a certificate: where the lists that may
// revoke it are published. mbedTLS does not read this extension.
#pragma once

#include <mbedtls/x509_crt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// At most this many addresses are taken from one certificate.
constexpr size_t MAX_CRL_ADDRESSES = 4;

// The http and https addresses named by the extension among `extensions`
// (the certificate's Extensions, with or without their [3] wrapper). Other
// names (directory names, ldap) are skipped; malformed data gives none.
std::vector<std::string> ReadCrlDistributionPoints(const uint8_t* extensions, size_t length);

std::vector<std::string> CrlDistributionPointsOf(const mbedtls_x509_crt& certificate);
