// The attestation keys and certificates of the simulated key, made with
// mbedTLS on first use and kept for the life of the process. The random
// generator behind them is fixed, so every run makes the same certificates.
//
//   chain[0] leaf          C=US, O=Simulated Key Maker, OU=Authenticator Attestation,
//                          CN=Simulated Key Attestation; issued by chain[1]; the
//                          attestation key; serial SIMKEY_ATTESTATION_SERIAL;
//                          basic constraints CA false, FIDO transports
//                          SIMKEY_TRANSPORTS_EXTENSION, FIDO AAGUID 04 10 +
//                          SIMKEY_DEFAULT_AAGUID
//   chain[1] intermediate  C=US, O=Simulated Key Maker, CN=Simulated Key Maker Intermediate CA;
//                          issued by chain[2]
//   chain[2] root          C=US, O=Simulated Key Maker, CN=Simulated Key Maker Root CA;
//                          self-signed
//   chain[3] cross root    the root's subject and key, issued by C=US,
//                          O=Simulated Key Maker, CN=Simulated Key Maker Legacy Root CA
//
// All are X.509 v3 with ECDSA P-256 keys and SHA-256 signatures, valid from
// 2024-01-01 00:00:00 to 2049-12-31 23:59:59 UTC. Only the leaf's subject
// holds the word "Attestation".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The leaf's serial number. Its first byte has the high bit set, so its DER
// INTEGER carries a leading zero byte.
inline constexpr uint8_t SIMKEY_ATTESTATION_SERIAL[16] = {
    0x9A, 0x5E, 0x1C, 0x0D, 0x42, 0x17, 0x63, 0xB8, 0x2F, 0x71, 0x04, 0xE6, 0x3A, 0xC9, 0x58, 0x01};
// The value of the FIDO transports extension (1.3.6.1.4.1.45724.2.1.1): a
// BIT STRING with 4 unused bits whose bits USB (0x20) and NFC (0x10) are set,
// the transports that GetInfo names.
inline constexpr uint8_t SIMKEY_TRANSPORTS_EXTENSION[4] = {0x03, 0x02, 0x04, 0x30};

enum SimChainIndex : size_t {
  SIMKEY_CHAIN_LEAF = 0,
  SIMKEY_CHAIN_INTERMEDIATE = 1,
  SIMKEY_CHAIN_ROOT = 2,
  SIMKEY_CHAIN_CROSS_ROOT = 3,
};

struct SimAttestationMaterial {
  std::vector<std::vector<uint8_t>> chain;    // DER, leaf first; empty if mbedTLS failed
  std::vector<uint8_t> attestationPublicKey;  // 65 bytes 04|x|y, the leaf's key
};

const SimAttestationMaterial& SimAttestation();

// DER ECDSA signature over SHA-256(data) with the attestation key, or with
// the P-256 scalar `privateKey` when it is not empty; empty when that fails.
std::vector<uint8_t> SimAttestationSign(const std::vector<uint8_t>& data,
                                        const std::vector<uint8_t>& privateKey = {});

// The certificate with its inner head damaged: the outer head 30 82 LL LL
// still frames the same number of bytes, but no DER reader accepts it.
std::vector<uint8_t> SimCorruptCertificate(std::vector<uint8_t> der);
