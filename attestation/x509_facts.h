// The facts of a DER X.509 certificate that the certificate rows show, copied
// out of the certificate so they outlive the parse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A certificate time in UTC, as encoded.
struct CertificateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const CertificateTime&, const CertificateTime&) = default;
};

struct CertificateExtension {
  std::vector<uint8_t> oid;    // the encoded OBJECT IDENTIFIER content
  std::vector<uint8_t> value;  // the extnValue OCTET STRING content
  friend bool operator==(const CertificateExtension&, const CertificateExtension&) = default;
};

struct X509Facts {
  int version = 0;              // 1, 2 or 3
  std::vector<uint8_t> serial;  // INTEGER content bytes, most significant first
  // Subject attribute values in encoded order, joined by ", ".
  std::string subject;
  // The issuer's first common name, else organizational unit, organization
  // or e-mail address; empty when it has none of them.
  std::string issuerDisplayName;
  CertificateTime notBefore;
  CertificateTime notAfter;
  // The subjectPublicKey BIT STRING bytes (without the unused-bits byte).
  std::vector<uint8_t> publicKey;
  // The key is an EC key on the named curve secp256r1 (P-256).
  bool publicKeyIsP256 = false;
  std::vector<CertificateExtension> extensions;  // in encoded order
  friend bool operator==(const X509Facts&, const X509Facts&) = default;
};

// False when the bytes are not a DER certificate. mbedTLS parses the
// certificate when it can (unknown extensions do not refuse it); a
// certificate it refuses, for example for an Ed25519 key or signature, is read
// by ReadX509FactsTolerant.
bool ReadX509Facts(const uint8_t* der, uint32_t length, X509Facts& facts);

// The value of the first extension with the dotted OID ("1.3.6.1.4.1.45724.2.1.1"),
// or null.
const std::vector<uint8_t>* FindExtensionValue(const X509Facts& facts, const char* dottedOid);

// The DER content of a dotted OID; empty when the text is not one.
std::vector<uint8_t> EncodeDottedOid(const char* dottedOid);
