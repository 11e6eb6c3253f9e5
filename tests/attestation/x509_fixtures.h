// DER certificates that mbedTLS cannot make: Ed25519 keys and signatures, and
// an unknown critical extension. All are valid from 2024-01-01 00:00:00 UTC;
// the FIDO AAGUID extensions hold the simulated key's AAGUID.
#pragma once

#include <cstdint>
#include <vector>

// C=US, O=Quillmark Test, OU=Authenticator Attestation, CN=Ed25519 Attestation,
// issued by O=Quillmark Test, OU=Ed25519 Signers; serial 5E D2 55 19; an
// Ed25519 key; not after 2099-12-31 23:59:59; transports 03 02 04 30 and AAGUID.
extern const std::vector<uint8_t> kEd25519AttestationLeaf;
// C=US, O=Quillmark Test, CN=Quillmark Ed25519 Root: self-signed Ed25519 CA.
extern const std::vector<uint8_t> kEd25519Root;
// C=US, O=Quillmark Test, OU=Authenticator Attestation, CN=P-256 Under Ed25519,
// the key of TestKey::P256(0x44), signed by kEd25519Root; serial 8A 25 61
// (with its leading zero byte); transports 03 02 04 30 and AAGUID.
extern const std::vector<uint8_t> kP256UnderEd25519Root;
// C=US, O=Quillmark Test, OU=Authenticator Attestation, CN=Unknown Critical,
// the key of TestKey::P256(0x44), self-signed with ECDSA SHA-256; a critical
// extension 1.3.6.1.4.1.55555.7.1 (value 05 00) and AAGUID.
extern const std::vector<uint8_t> kP256UnknownCritical;
