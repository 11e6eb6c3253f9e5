#include "attestation/x509_tolerant.h"

#include <mbedtls/asn1.h>
#include <mbedtls/x509.h>

#include <vector>

#include "attestation/x509_fields.h"

namespace {

constexpr int kSequence = MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE;
constexpr int kSet = MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SET;
constexpr int kVersionTag = MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 0;
constexpr int kIssuerUniqueIdTag = MBEDTLS_ASN1_CONTEXT_SPECIFIC | 1;
constexpr int kSubjectUniqueIdTag = MBEDTLS_ASN1_CONTEXT_SPECIFIC | 2;
constexpr int kExtensionsTag = MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 3;

// A span of the certificate, [p, end).
struct Span {
  unsigned char* p;
  const unsigned char* end;
  bool empty() const { return p >= end; }
};

// The element at `in.p` with the tag `tag`: its content, and `in` moved past it.
bool Take(Span& in, int tag, Span& content) {
  size_t length = 0;
  if (mbedtls_asn1_get_tag(&in.p, in.end, &length, tag) != 0) return false;
  content = {in.p, in.p + length};
  in.p += length;
  return true;
}

bool TakeIf(Span& in, int tag, Span& content, bool& present) {
  present = !in.empty() && *in.p == tag;
  return !present || Take(in, tag, content);
}

// Name ::= SEQUENCE OF RelativeDistinguishedName
// RelativeDistinguishedName ::= SET SIZE (1..MAX) OF AttributeTypeAndValue
// AttributeTypeAndValue ::= SEQUENCE { type OBJECT IDENTIFIER, value ANY }
// Every value of a single-byte primitive tag is taken (the string types).
bool ReadName(Span name, std::vector<X509NameAttribute>& attributes) {
  while (!name.empty()) {
    Span set;
    if (!Take(name, kSet, set) || set.empty()) return false;
    while (!set.empty()) {
      Span pair, type;
      if (!Take(set, kSequence, pair) || !Take(pair, MBEDTLS_ASN1_OID, type) || pair.empty()) {
        return false;
      }
      const unsigned char tag = *pair.p;
      if ((tag & MBEDTLS_ASN1_CONSTRUCTED) != 0 || (tag & 0x1F) == 0x1F) return false;
      Span value;
      if (!Take(pair, tag, value) || !pair.empty()) return false;
      X509NameAttribute attribute;
      attribute.type = {MBEDTLS_ASN1_OID, static_cast<size_t>(type.end - type.p), type.p};
      attribute.value = {tag, static_cast<size_t>(value.end - value.p), value.p};
      attributes.push_back(attribute);
    }
  }
  return true;
}

// Validity ::= SEQUENCE { notBefore Time, notAfter Time }
// Time ::= CHOICE { utcTime UTCTime, generalTime GeneralizedTime }
bool ReadValidity(Span validity, X509Facts& facts) {
  mbedtls_x509_time notBefore, notAfter;
  if (mbedtls_x509_get_time(&validity.p, validity.end, &notBefore) != 0 ||
      mbedtls_x509_get_time(&validity.p, validity.end, &notAfter) != 0 || !validity.empty()) {
    return false;
  }
  facts.notBefore = FromX509Time(notBefore);
  facts.notAfter = FromX509Time(notAfter);
  return true;
}

// TBSCertificate ::= SEQUENCE {
//   version [0] EXPLICIT INTEGER DEFAULT v1 (0),  serialNumber INTEGER,
//   signature AlgorithmIdentifier,  issuer Name,  validity Validity,  subject Name,
//   subjectPublicKeyInfo SubjectPublicKeyInfo,
//   issuerUniqueID [1] IMPLICIT BIT STRING OPTIONAL,
//   subjectUniqueID [2] IMPLICIT BIT STRING OPTIONAL,
//   extensions [3] EXPLICIT Extensions OPTIONAL }
bool ReadTbsCertificate(Span tbs, X509Facts& facts) {
  Span explicitVersion, serial, algorithm, issuer, validity, subject, publicKeyInfo, skipped,
      extensions;
  bool present = false;
  int version = 0;
  if (!TakeIf(tbs, kVersionTag, explicitVersion, present)) return false;
  if (present && (mbedtls_asn1_get_int(&explicitVersion.p, explicitVersion.end, &version) != 0 ||
                  !explicitVersion.empty() || version < 0 || version > 2)) {
    return false;
  }
  facts.version = version + 1;
  if (!Take(tbs, MBEDTLS_ASN1_INTEGER, serial) || !Take(tbs, kSequence, algorithm) ||
      !Take(tbs, kSequence, issuer) || !Take(tbs, kSequence, validity) ||
      !Take(tbs, kSequence, subject)) {
    return false;
  }
  facts.serial.assign(static_cast<const unsigned char*>(serial.p), serial.end);
  std::vector<X509NameAttribute> issuerName, subjectName;
  if (!ReadName(issuer, issuerName) || !ReadName(subject, subjectName) ||
      !ReadValidity(validity, facts)) {
    return false;
  }
  facts.issuerDisplayName = NameDisplayText(issuerName);
  facts.subject = NameValuesText(subjectName);

  const unsigned char* const publicKeyStart = tbs.p;
  if (!Take(tbs, kSequence, publicKeyInfo) ||
      !ReadSubjectPublicKey(publicKeyStart, static_cast<size_t>(tbs.p - publicKeyStart), facts)) {
    return false;
  }
  if (!TakeIf(tbs, kIssuerUniqueIdTag, skipped, present) ||
      !TakeIf(tbs, kSubjectUniqueIdTag, skipped, present)) {
    return false;
  }
  const unsigned char* const extensionsStart = tbs.p;
  if (!TakeIf(tbs, kExtensionsTag, extensions, present)) return false;
  if (present && !ReadExtensions(extensionsStart, static_cast<size_t>(tbs.p - extensionsStart),
                                 facts.extensions)) {
    return false;
  }
  return tbs.empty();
}

}  // namespace

// Certificate ::= SEQUENCE { tbsCertificate TBSCertificate,
//   signatureAlgorithm AlgorithmIdentifier, signatureValue BIT STRING }
// Bytes after the Certificate are ignored, as the full parse ignores them.
bool ReadX509FactsTolerant(const uint8_t* der, uint32_t length, X509Facts& facts) {
  if (der == nullptr || length == 0) return false;
  Span in{const_cast<unsigned char*>(der), der + length};
  Span certificate, tbs, algorithm;
  mbedtls_asn1_bitstring signature;
  if (!Take(in, kSequence, certificate) || !Take(certificate, kSequence, tbs) ||
      !Take(certificate, kSequence, algorithm) ||
      mbedtls_asn1_get_bitstring(&certificate.p, certificate.end, &signature) != 0 ||
      !certificate.empty()) {
    return false;
  }
  X509Facts out;
  if (!ReadTbsCertificate(tbs, out)) return false;
  facts = std::move(out);
  return true;
}
