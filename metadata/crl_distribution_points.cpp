#include "metadata/crl_distribution_points.h"

#include <mbedtls/asn1.h>

#include <cstring>

namespace {

constexpr int kSequence = MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE;
constexpr int kContext0 = MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 0;
constexpr int kUri = MBEDTLS_ASN1_CONTEXT_SPECIFIC | 6;
constexpr size_t kMaxAddressLength = 2048;

// 2.5.29.31
const unsigned char kCrlDistributionPointsOid[] = {0x55, 0x1D, 0x1F};

bool IsHttpAddress(const std::string& address) {
  return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

// DistributionPoint ::= SEQUENCE { distributionPoint [0] { fullName [0]
// GeneralNames } ... }; the URIs of its full name.
void ReadDistributionPoint(unsigned char* p, const unsigned char* end,
                           std::vector<std::string>& addresses) {
  size_t length = 0;
  if (mbedtls_asn1_get_tag(&p, end, &length, kContext0) != 0) return;  // only cRLIssuer
  const unsigned char* pointEnd = p + length;
  if (mbedtls_asn1_get_tag(&p, pointEnd, &length, kContext0) != 0) return;  // a relative name
  const unsigned char* namesEnd = p + length;
  while (p < namesEnd && addresses.size() < MAX_CRL_ADDRESSES) {
    const int tag = *p++;
    if (mbedtls_asn1_get_len(&p, namesEnd, &length) != 0) return;
    if (tag == kUri && length <= kMaxAddressLength) {
      std::string address(reinterpret_cast<const char*>(p), length);
      if (IsHttpAddress(address)) addresses.push_back(std::move(address));
    }
    p += length;
  }
}

void ReadExtensionValue(unsigned char* p, const unsigned char* end,
                        std::vector<std::string>& addresses) {
  size_t length = 0;
  if (mbedtls_asn1_get_tag(&p, end, &length, kSequence) != 0 || p + length != end) return;
  while (p < end && addresses.size() < MAX_CRL_ADDRESSES) {
    if (mbedtls_asn1_get_tag(&p, end, &length, kSequence) != 0) return;
    ReadDistributionPoint(p, p + length, addresses);
    p += length;
  }
}

}  // namespace

std::vector<std::string> ReadCrlDistributionPoints(const uint8_t* extensions, size_t size) {
  std::vector<std::string> addresses;
  if (extensions == nullptr || size == 0) return addresses;
  // mbedTLS's getters take a non-const cursor but only read through it.
  auto* p = const_cast<unsigned char*>(extensions);
  const unsigned char* end = p + size;
  size_t length = 0;
  constexpr int kWrapper = MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_ASN1_CONSTRUCTED | 3;
  if (*p == kWrapper) {
    if (mbedtls_asn1_get_tag(&p, end, &length, kWrapper) != 0) return addresses;
    end = p + length;
  }
  if (mbedtls_asn1_get_tag(&p, end, &length, kSequence) != 0) return addresses;
  end = p + length;
  while (p < end) {
    if (mbedtls_asn1_get_tag(&p, end, &length, kSequence) != 0) return addresses;
    const unsigned char* extensionEnd = p + length;
    mbedtls_asn1_buf oid{};
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &oid.len, MBEDTLS_ASN1_OID) != 0) return addresses;
    oid.p = p;
    p += oid.len;
    int critical = 0;
    if (p < extensionEnd && *p == MBEDTLS_ASN1_BOOLEAN &&
        mbedtls_asn1_get_bool(&p, extensionEnd, &critical) != 0) {
      return addresses;
    }
    if (mbedtls_asn1_get_tag(&p, extensionEnd, &length, MBEDTLS_ASN1_OCTET_STRING) != 0) {
      return addresses;
    }
    if (oid.len == sizeof kCrlDistributionPointsOid &&
        std::memcmp(oid.p, kCrlDistributionPointsOid, oid.len) == 0) {
      ReadExtensionValue(p, p + length, addresses);
      return addresses;
    }
    p = const_cast<unsigned char*>(extensionEnd);
  }
  return addresses;
}

std::vector<std::string> CrlDistributionPointsOf(const mbedtls_x509_crt& certificate) {
  return ReadCrlDistributionPoints(certificate.v3_ext.p, certificate.v3_ext.len);
}
