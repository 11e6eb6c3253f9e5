#include "attestation/x509_facts.h"

#include <mbedtls/asn1.h>
#include <mbedtls/oid.h>
#include <mbedtls/x509_crt.h>

#include <cstring>

namespace {

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

std::string JoinedValues(const mbedtls_x509_name* name) {
  std::string text;
  for (; name != nullptr; name = name->next) {
    if (name->oid.p == nullptr) continue;
    if (!text.empty()) text += ", ";
    text += ValueText(name->val);
  }
  return text;
}

bool SameOid(const mbedtls_asn1_buf& oid, const char* encoded, size_t length) {
  return oid.p != nullptr && oid.len == length && std::memcmp(oid.p, encoded, length) == 0;
}

std::string SimpleDisplayName(const mbedtls_x509_name* name) {
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
    for (const mbedtls_x509_name* n = name; n != nullptr; n = n->next) {
      if (SameOid(n->oid, wanted.oid, wanted.length)) return ValueText(n->val);
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
bool ReadPublicKeyBits(const mbedtls_x509_buf& info, std::vector<uint8_t>& bits) {
  unsigned char* p = info.p;
  const unsigned char* end = info.p + info.len;
  size_t length = 0;
  if (mbedtls_asn1_get_tag(&p, end, &length, MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE) !=
      0) {
    return false;
  }
  end = p + length;
  if (mbedtls_asn1_get_tag(&p, end, &length, MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE) !=
      0) {
    return false;
  }
  p += length;
  mbedtls_asn1_bitstring bitString;
  if (mbedtls_asn1_get_bitstring(&p, end, &bitString) != 0) return false;
  bits.assign(bitString.p, bitString.p + bitString.len);
  return true;
}

//   Extensions ::= SEQUENCE OF Extension
//   Extension  ::= SEQUENCE { extnID OBJECT IDENTIFIER, critical BOOLEAN DEFAULT FALSE,
//                             extnValue OCTET STRING }
void ReadExtensions(const mbedtls_x509_buf& v3, std::vector<CertificateExtension>& extensions) {
  if (v3.p == nullptr || v3.len == 0) return;
  unsigned char* p = v3.p;
  const unsigned char* end = v3.p + v3.len;
  size_t length = 0;
  // Both the [3] wrapper and the bare sequence are accepted.
  if (*p == (MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 3)) {
    if (mbedtls_asn1_get_tag(&p, end, &length,
                             MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 3) != 0) {
      return;
    }
    end = p + length;
  }
  if (mbedtls_asn1_get_tag(&p, end, &length, MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE) !=
      0) {
    return;
  }
  end = p + length;
  while (p < end) {
    if (mbedtls_asn1_get_tag(&p, end, &length, MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE) !=
        0) {
      return;
    }
    unsigned char* const extensionEnd = p + length;
    CertificateExtension extension;
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &length, MBEDTLS_ASN1_OID) != 0) return;
    extension.oid.assign(p, p + length);
    p += length;
    int critical = 0;
    const int boolResult = mbedtls_asn1_get_bool(&p, extensionEnd, &critical);
    if (boolResult != 0 && boolResult != MBEDTLS_ERR_ASN1_UNEXPECTED_TAG) return;
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &length, MBEDTLS_ASN1_OCTET_STRING) != 0) return;
    extension.value.assign(p, p + length);
    extensions.push_back(std::move(extension));
    p = extensionEnd;
  }
}

class ParsedCertificate {
 public:
  ParsedCertificate() { mbedtls_x509_crt_init(&crt); }
  ~ParsedCertificate() { mbedtls_x509_crt_free(&crt); }
  ParsedCertificate(const ParsedCertificate&) = delete;
  ParsedCertificate& operator=(const ParsedCertificate&) = delete;

  mbedtls_x509_crt crt;
};

}  // namespace

bool ReadX509Facts(const uint8_t* der, uint32_t length, X509Facts& facts) {
  if (der == nullptr || length == 0) return false;
  ParsedCertificate parsed;
  if (mbedtls_x509_crt_parse_der(&parsed.crt, der, length) != 0) return false;
  const mbedtls_x509_crt& crt = parsed.crt;
  X509Facts out;
  out.version = crt.version;
  if (crt.serial.p != nullptr) out.serial.assign(crt.serial.p, crt.serial.p + crt.serial.len);
  out.subject = JoinedValues(&crt.subject);
  out.issuerDisplayName = SimpleDisplayName(&crt.issuer);
  out.notBefore = FromX509Time(crt.valid_from);
  out.notAfter = FromX509Time(crt.valid_to);
  if (!ReadPublicKeyBits(crt.pk_raw, out.publicKey)) return false;
  ReadExtensions(crt.v3_ext, out.extensions);
  facts = std::move(out);
  return true;
}

std::vector<uint8_t> EncodeDottedOid(const char* dottedOid) {
  std::vector<uint64_t> arcs;
  if (dottedOid == nullptr) return {};
  uint64_t arc = 0;
  bool digits = false;
  for (const char* c = dottedOid;; ++c) {
    if (*c >= '0' && *c <= '9') {
      if (arc > (UINT64_MAX - 9) / 10) return {};
      arc = arc * 10 + static_cast<uint64_t>(*c - '0');
      digits = true;
    } else if ((*c == '.' || *c == '\0') && digits) {
      arcs.push_back(arc);
      arc = 0;
      digits = false;
      if (*c == '\0') break;
    } else {
      return {};
    }
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39)) return {};
  if (arcs[1] > UINT64_MAX - 80) return {};
  std::vector<uint8_t> encoded;
  for (size_t i = 1; i < arcs.size(); ++i) {
    const uint64_t value = i == 1 ? arcs[0] * 40 + arcs[1] : arcs[i];
    uint8_t groups[10];
    size_t count = 0;
    uint64_t rest = value;
    do {
      groups[count++] = static_cast<uint8_t>(rest & 0x7F);
      rest >>= 7;
    } while (rest != 0);
    while (count > 0) {
      --count;
      encoded.push_back(static_cast<uint8_t>(groups[count] | (count > 0 ? 0x80 : 0x00)));
    }
  }
  return encoded;
}

const std::vector<uint8_t>* FindExtensionValue(const X509Facts& facts, const char* dottedOid) {
  const std::vector<uint8_t> oid = EncodeDottedOid(dottedOid);
  if (oid.empty()) return nullptr;
  for (const CertificateExtension& extension : facts.extensions) {
    if (extension.oid == oid) return &extension.value;
  }
  return nullptr;
}
