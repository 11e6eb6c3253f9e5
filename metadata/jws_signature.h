// The signature check of a compact JWS with the public key of its leaf
// certificate.
#pragma once

#include <mbedtls/x509_crt.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/compact_jws.h"

// Empty answer when `signature` over `signingInput` is valid for the leaf's
// key; otherwise a clause saying why not. RS256 is RSASSA-PKCS1-v1_5 with
// SHA-256 and an RSA key; ES256 is ECDSA P-256 with SHA-256, its signature
// the raw 64 bytes r || s.
std::string CheckJwsSignature(JwsAlgorithm algorithm, mbedtls_x509_crt& leaf,
                              std::string_view signingInput, const std::vector<uint8_t>& signature);

// r || s (two big-endian integers of equal length) -> DER
//   30 L 02 Lr r 02 Ls s
// with leading zeros removed and a zero byte added where the top bit is set.
// Empty when the input is empty, of odd length, or over 132 bytes.
std::vector<uint8_t> RawEcdsaSignatureToDer(const std::vector<uint8_t>& raw);
