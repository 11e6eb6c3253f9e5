#include "attestation/x509_fields.h"

#include <mbedtls/oid.h>

#include <cstring>

namespace {

constexpr int kSequence = MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE;

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) codePoint = 0xFFFD;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | codePoint >> 6);
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | codePoint >> 12);
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | codePoint >> 18);
    out += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// An attribute value as UTF-8 text: BMPString (UCS-2) and UniversalString
// (UCS-4) are converted, every other string type is taken as it is.
std::string ValueText(const mbedtls_asn1_buf& value) {
  std::string text;
  if (value.p == nullptr) return text;
  if (value.tag == MBEDTLS_ASN1_BMP_STRING) {
    for (size_t i = 0; i + 2 <= value.len; i += 2) {
      AppendUtf8(text, static_cast<uint32_t>(value.p[i] << 8 | value.p[i + 1]));
    }
  } else if (value.tag == MBEDTLS_ASN1_UNIVERSAL_STRING) {
    for (size_t i = 0; i + 4 <= value.len; i += 4) {
      AppendUtf8(text, static_cast<uint32_t>(value.p[i]) << 24 | value.p[i + 1] << 16 |
                           value.p[i + 2] << 8 | value.p[i + 3]);
    }
  } else {
    text.assign(reinterpret_cast<const char*>(value.p), value.len);
  }
  return text;
}

bool SameOid(const mbedtls_asn1_buf& oid, const char* encoded, size_t length) {
  return oid.p != nullptr && oid.len == length && std::memcmp(oid.p, encoded, length) == 0;
}

}  // namespace

std::string NameValuesText(const std::vector<X509NameAttribute>& name) {
  std::string text;
  for (const X509NameAttribute& attribute : name) {
    if (!text.empty()) text += ", ";
    text += ValueText(attribute.value);
  }
  return text;
}

std::string NameDisplayText(const std::vector<X509NameAttribute>& name) {
  static const struct {
    const char* oid;
    size_t length;
  } kPreference[] = {
      {MBEDTLS_OID_AT_CN, MBEDTLS_OID_SIZE(MBEDTLS_OID_AT_CN)},
      {MBEDTLS_OID_AT_ORG_UNIT, MBEDTLS_OID_SIZE(MBEDTLS_OID_AT_ORG_UNIT)},
      {MBEDTLS_OID_AT_ORGANIZATION, MBEDTLS_OID_SIZE(MBEDTLS_OID_AT_ORGANIZATION)},
      {MBEDTLS_OID_PKCS9_EMAIL, MBEDTLS_OID_SIZE(MBEDTLS_OID_PKCS9_EMAIL)},
  };
  for (const auto& wanted : kPreference) {
    for (const X509NameAttribute& attribute : name) {
      if (SameOid(attribute.type, wanted.oid, wanted.length)) return ValueText(attribute.value);
    }
  }
  return std::string();
}

CertificateTime FromX509Time(const mbedtls_x509_time& time) {
  CertificateTime out;
  out.year = time.year;
  out.month = time.mon;
  out.day = time.day;
  out.hour = time.hour;
  out.minute = time.min;
  out.second = time.sec;
  return out;
}

// SubjectPublicKeyInfo ::= SEQUENCE { algorithm AlgorithmIdentifier,
//                                     subjectPublicKey BIT STRING }
// AlgorithmIdentifier  ::= SEQUENCE { algorithm OBJECT IDENTIFIER,
//                                     parameters ANY OPTIONAL }
// An EC key names its curve as the parameters: namedCurve OBJECT IDENTIFIER.
bool ReadSubjectPublicKey(const uint8_t* info, size_t length, X509Facts& facts) {
  if (info == nullptr) return false;
  unsigned char* p = const_cast<unsigned char*>(info);
  const unsigned char* end = p + length;
  size_t elementLength = 0;
  if (mbedtls_asn1_get_tag(&p, end, &elementLength, kSequence) != 0) return false;
  end = p + elementLength;
  if (mbedtls_asn1_get_tag(&p, end, &elementLength, kSequence) != 0) return false;
  const unsigned char* const algorithmEnd = p + elementLength;
  mbedtls_asn1_buf algorithm{MBEDTLS_ASN1_OID, 0, nullptr};
  mbedtls_asn1_buf curve{MBEDTLS_ASN1_OID, 0, nullptr};
  if (mbedtls_asn1_get_tag(&p, algorithmEnd, &algorithm.len, MBEDTLS_ASN1_OID) != 0) return false;
  algorithm.p = p;
  p += algorithm.len;
  if (p < algorithmEnd && *p == MBEDTLS_ASN1_OID) {
    if (mbedtls_asn1_get_tag(&p, algorithmEnd, &curve.len, MBEDTLS_ASN1_OID) != 0) return false;
    curve.p = p;
  }
  p = const_cast<unsigned char*>(algorithmEnd);
  mbedtls_asn1_bitstring bits;
  if (mbedtls_asn1_get_bitstring(&p, end, &bits) != 0) return false;
  facts.publicKey.assign(bits.p, bits.p + bits.len);
  facts.publicKeyIsP256 =
      SameOid(algorithm, MBEDTLS_OID_EC_ALG_UNRESTRICTED,
              MBEDTLS_OID_SIZE(MBEDTLS_OID_EC_ALG_UNRESTRICTED)) &&
      SameOid(curve, MBEDTLS_OID_EC_GRP_SECP256R1, MBEDTLS_OID_SIZE(MBEDTLS_OID_EC_GRP_SECP256R1));
  return true;
}

//   Extensions ::= SEQUENCE OF Extension
//   Extension  ::= SEQUENCE { extnID OBJECT IDENTIFIER, critical BOOLEAN DEFAULT FALSE,
//                             extnValue OCTET STRING }
bool ReadExtensions(const uint8_t* data, size_t length,
                    std::vector<CertificateExtension>& extensions) {
  if (data == nullptr || length == 0) return true;
  unsigned char* p = const_cast<unsigned char*>(data);
  const unsigned char* end = p + length;
  size_t elementLength = 0;
  constexpr int kWrapper = MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 3;
  if (*p == kWrapper) {
    if (mbedtls_asn1_get_tag(&p, end, &elementLength, kWrapper) != 0) return false;
    end = p + elementLength;
  }
  if (mbedtls_asn1_get_tag(&p, end, &elementLength, kSequence) != 0 || p + elementLength != end) {
    return false;
  }
  while (p < end) {
    if (mbedtls_asn1_get_tag(&p, end, &elementLength, kSequence) != 0) return false;
    const unsigned char* const extensionEnd = p + elementLength;
    CertificateExtension extension;
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &elementLength, MBEDTLS_ASN1_OID) != 0) {
      return false;
    }
    extension.oid.assign(p, p + elementLength);
    p += elementLength;
    int critical = 0;
    const int boolResult = mbedtls_asn1_get_bool(&p, extensionEnd, &critical);
    if (boolResult != 0 && boolResult != MBEDTLS_ERR_ASN1_UNEXPECTED_TAG) return false;
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &elementLength, MBEDTLS_ASN1_OCTET_STRING) != 0) {
      return false;
    }
    extension.value.assign(p, p + elementLength);
    p += elementLength;
    if (p != extensionEnd) return false;
    extensions.push_back(std::move(extension));
  }
  return true;
}
