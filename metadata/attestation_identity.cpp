#include "metadata/attestation_identity.h"

#include <mbedtls/asn1.h>
#include <mbedtls/sha1.h>

#include <cstring>

#include "metadata/certificate_list.h"

namespace {

// 1.3.6.1.4.1.45724.1.1.4
constexpr uint8_t kAaguidOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xE5, 0x1C, 0x01, 0x01, 0x04};

constexpr int kSequence = MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE;

}  // namespace

std::string LowerHex(const uint8_t* bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string AttestationKeyIdentifier(const uint8_t* der, size_t length) {
  CertificateList certificate;
  if (!certificate.AddDer(der, length)) return {};
  // SubjectPublicKeyInfo ::= SEQUENCE { algorithm AlgorithmIdentifier,
  //                                     subjectPublicKey BIT STRING }
  const mbedtls_x509_buf& info = certificate.head()->pk_raw;
  unsigned char* p = info.p;
  const unsigned char* end = info.p + info.len;
  size_t itemLength = 0;
  if (mbedtls_asn1_get_tag(&p, end, &itemLength, kSequence) != 0) return {};
  end = p + itemLength;
  if (mbedtls_asn1_get_tag(&p, end, &itemLength, kSequence) != 0) return {};
  p += itemLength;
  mbedtls_asn1_bitstring key{};
  if (mbedtls_asn1_get_bitstring(&p, end, &key) != 0) return {};
  uint8_t digest[20];
  if (mbedtls_sha1_ret(key.p, key.len, digest) != 0) return {};
  return LowerHex(digest, sizeof digest);
}

std::string CertificateAaguid(const uint8_t* der, size_t length) {
  CertificateList certificate;
  if (!certificate.AddDer(der, length)) return {};
  // v3_ext: the content of [3], SEQUENCE OF Extension, Extension ::= SEQUENCE {
  //   extnID OBJECT IDENTIFIER, critical BOOLEAN DEFAULT FALSE, extnValue OCTET STRING }
  const mbedtls_x509_buf& extensions = certificate.head()->v3_ext;
  if (extensions.p == nullptr) return {};
  unsigned char* p = extensions.p;
  const unsigned char* end = extensions.p + extensions.len;
  size_t itemLength = 0;
  if (mbedtls_asn1_get_tag(&p, end, &itemLength, kSequence) != 0) return {};
  end = p + itemLength;
  while (p < end) {
    if (mbedtls_asn1_get_tag(&p, end, &itemLength, kSequence) != 0) return {};
    const unsigned char* extensionEnd = p + itemLength;
    size_t oidLength = 0;
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &oidLength, MBEDTLS_ASN1_OID) != 0) return {};
    const bool isAaguid =
        oidLength == sizeof kAaguidOid && std::memcmp(p, kAaguidOid, sizeof kAaguidOid) == 0;
    p += oidLength;
    int critical = 0;
    mbedtls_asn1_get_bool(&p, extensionEnd, &critical);
    size_t valueLength = 0;
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &valueLength, MBEDTLS_ASN1_OCTET_STRING) != 0) {
      return {};
    }
    if (isAaguid) {
      // The value is itself an OCTET STRING of 16 bytes.
      unsigned char* inner = p;
      size_t innerLength = 0;
      if (mbedtls_asn1_get_tag(&inner, p + valueLength, &innerLength, MBEDTLS_ASN1_OCTET_STRING) !=
              0 ||
          innerLength != 16) {
        return {};
      }
      return LowerHex(inner, innerLength);
    }
    p = const_cast<unsigned char*>(extensionEnd);
  }
  return {};
}

std::string HyphenatedAaguid(const std::string& hex) {
  if (hex.size() != 32) return hex;
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
}
