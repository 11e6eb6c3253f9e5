#include "metadata/certificate_list.h"

#include <mbedtls/oid.h>

#include <cstring>

#include "metadata/utc_date.h"

CertificateList::CertificateList() { mbedtls_x509_crt_init(&list_); }

CertificateList::~CertificateList() { mbedtls_x509_crt_free(&list_); }

bool CertificateList::AddDer(const uint8_t* der, size_t length) {
  if (der == nullptr || length == 0) return false;
  if (mbedtls_x509_crt_parse_der(&list_, der, length) != 0) return false;
  ++count_;
  return true;
}

bool CertificateList::AddPemOrDer(const std::vector<uint8_t>& bytes) {
  static constexpr char kPemBegin[] = "-----BEGIN CERTIFICATE-----";
  const std::string text(bytes.begin(), bytes.end());
  if (text.find(kPemBegin) == std::string::npos) return AddDer(bytes);
  // mbedtls_x509_crt_parse wants the PEM text with its terminating zero.
  const size_t before = count_;
  size_t start = 0;
  while ((start = text.find(kPemBegin, start)) != std::string::npos) {
    static constexpr char kPemEnd[] = "-----END CERTIFICATE-----";
    const size_t end = text.find(kPemEnd, start);
    if (end == std::string::npos) break;
    const std::string block = text.substr(start, end + sizeof kPemEnd - 1 - start);
    if (mbedtls_x509_crt_parse(&list_, reinterpret_cast<const unsigned char*>(block.c_str()),
                               block.size() + 1) == 0) {
      ++count_;
    }
    start = end;
  }
  return count_ > before;
}

std::string CommonNameOf(const mbedtls_x509_name& name) {
  for (const mbedtls_x509_name* part = &name; part != nullptr; part = part->next) {
    if (MBEDTLS_OID_CMP(MBEDTLS_OID_AT_CN, &part->oid) == 0) {
      return std::string(reinterpret_cast<const char*>(part->val.p), part->val.len);
    }
  }
  char text[512];
  const int length = mbedtls_x509_dn_gets(text, sizeof text, &name);
  return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

int64_t UnixSecondsOf(const mbedtls_x509_time& time) {
  return UnixSecondsOf(time.year, time.mon, time.day, time.hour, time.min, time.sec);
}
