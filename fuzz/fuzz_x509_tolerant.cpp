// The certificate readers on arbitrary bytes: the tolerant ASN.1 reader alone,
// and ReadX509Facts (the full mbedTLS parse, then the tolerant reader). The
// input lives in a heap block of exactly its size, so a read past it trips
// AddressSanitizer. Where both the full parse and the tolerant reader accept
// the bytes, their facts must be equal.
#include <mbedtls/x509_crt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "attestation/x509_facts.h"
#include "attestation/x509_tolerant.h"

namespace {

int AcceptExtension(void*, const mbedtls_x509_crt*, const mbedtls_x509_buf*, int,
                    const unsigned char*, const unsigned char*) {
  return 0;
}

bool FullParseAccepts(const uint8_t* der, size_t length) {
  mbedtls_x509_crt crt;
  mbedtls_x509_crt_init(&crt);
  const int result =
      mbedtls_x509_crt_parse_der_with_ext_cb(&crt, der, length, 0, AcceptExtension, nullptr);
  mbedtls_x509_crt_free(&crt);
  return result == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 16384) return 0;
  std::unique_ptr<uint8_t[]> der(new uint8_t[size]);
  std::memcpy(der.get(), data, size);
  const uint32_t length = static_cast<uint32_t>(size);

  X509Facts tolerant;
  const bool tolerantRead = ReadX509FactsTolerant(der.get(), length, tolerant);
  if (tolerantRead && (tolerant.version < 1 || tolerant.version > 3)) __builtin_trap();

  X509Facts facts;
  const bool read = ReadX509Facts(der.get(), length, facts);
  if (tolerantRead && !read) __builtin_trap();
  if (tolerantRead && FullParseAccepts(der.get(), size) && !(facts == tolerant)) __builtin_trap();
  return 0;
}
