// ECDSA P-256 / SHA-256 check of an attestation signature.
#pragma once

#include <cstdint>

// `publicKey`: the raw point 04 || x || y (65 bytes). `signature`: DER
//   30 LL 02 RL r 02 SL s
// with r and s of 1 to 32 bytes each, or 33 with a leading zero byte; anything
// else is refused. Answers 0 when valid; -1 when the key is not 65 bytes or r
// cannot be read; -2 when s cannot be read; otherwise the mbedTLS error (not 0).
int VerifyP256Signature(const uint8_t* publicKey, uint32_t publicKeyLength, const uint8_t* data,
                        uint32_t dataLength, const uint8_t* signature, uint32_t signatureLength);
