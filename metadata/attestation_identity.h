// What identifies a key's model in its attestation certificate: the FIDO
// AAGUID extension (FIDO2) and the key identifier of the attestation key
// (U2F), in the forms the metadata lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Lowercase hex SHA-1 of the subjectPublicKey BIT STRING's contents (without
// its unused-bits byte); empty when the certificate cannot be read.
std::string AttestationKeyIdentifier(const uint8_t* der, size_t length);

// The 16 bytes of the extension 1.3.6.1.4.1.45724.1.1.4 (an OCTET STRING
// inside the extension's value) as 32 lowercase hex digits; empty when the
// certificate has none or cannot be read.
std::string CertificateAaguid(const uint8_t* der, size_t length);

// "514d2d53-494d-4b45-592d-414147554944" of 32 hex digits; any other text as
// it is.
std::string HyphenatedAaguid(const std::string& hex);

// Lowercase hex of `length` bytes.
std::string LowerHex(const uint8_t* bytes, size_t length);
