#include "attestation/x509_facts.h"

#include <mbedtls/x509_crt.h>

#include "attestation/x509_fields.h"
#include "attestation/x509_tolerant.h"

namespace {

class ParsedCertificate {
 public:
  ParsedCertificate() { mbedtls_x509_crt_init(&crt); }
  ~ParsedCertificate() { mbedtls_x509_crt_free(&crt); }
  ParsedCertificate(const ParsedCertificate&) = delete;
  ParsedCertificate& operator=(const ParsedCertificate&) = delete;

  mbedtls_x509_crt crt;
};

// The rows show every extension they know by its value alone, so an extension
// mbedTLS does not know never refuses the certificate, critical or not.
int AcceptExtension(void*, const mbedtls_x509_crt*, const mbedtls_x509_buf*, int,
                    const unsigned char*, const unsigned char*) {
  return 0;
}

std::vector<X509NameAttribute> NameAttributes(const mbedtls_x509_name* name) {
  std::vector<X509NameAttribute> attributes;
  for (; name != nullptr; name = name->next) {
    if (name->oid.p != nullptr) attributes.push_back({name->oid, name->val});
  }
  return attributes;
}

bool ReadWithMbedtls(const uint8_t* der, uint32_t length, X509Facts& facts) {
  ParsedCertificate parsed;
  if (mbedtls_x509_crt_parse_der_with_ext_cb(&parsed.crt, der, length, 0, AcceptExtension,
                                             nullptr) != 0) {
    return false;
  }
  const mbedtls_x509_crt& crt = parsed.crt;
  X509Facts out;
  out.version = crt.version;
  if (crt.serial.p != nullptr) out.serial.assign(crt.serial.p, crt.serial.p + crt.serial.len);
  out.subject = NameValuesText(NameAttributes(&crt.subject));
  out.issuerDisplayName = NameDisplayText(NameAttributes(&crt.issuer));
  out.notBefore = FromX509Time(crt.valid_from);
  out.notAfter = FromX509Time(crt.valid_to);
  if (!ReadSubjectPublicKey(crt.pk_raw.p, crt.pk_raw.len, out) ||
      !ReadExtensions(crt.v3_ext.p, crt.v3_ext.len, out.extensions)) {
    return false;
  }
  facts = std::move(out);
  return true;
}

}  // namespace

bool ReadX509Facts(const uint8_t* der, uint32_t length, X509Facts& facts) {
  if (der == nullptr || length == 0) return false;
  return ReadWithMbedtls(der, length, facts) || ReadX509FactsTolerant(der, length, facts);
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
