#include "attestation/signature_verify.h"

#include <mbedtls/ecdsa.h>
#include <mbedtls/ecp.h>
#include <mbedtls/sha256.h>

#include <cstddef>
#include <cstring>

namespace {

constexpr uint8_t DER_SEQUENCE = 0x30;
constexpr uint8_t DER_INTEGER = 0x02;

// The value of the INTEGER at `offset`, left-padded to 32 bytes into `value`:
// DER writes r and s in their fewest bytes, so a value below 2^248 (one
// signature in 128) comes shorter than 32 bytes; 33 bytes only with a leading
// zero byte. Answers the offset after the INTEGER; 0 when it is not of that
// form or runs past the signature.
size_t IntegerValue(const uint8_t* signature, size_t length, size_t offset, uint8_t value[32]) {
  if (offset + 2 > length || signature[offset] != DER_INTEGER) return 0;
  size_t integerLength = signature[offset + 1];
  size_t start = offset + 2;
  if (integerLength == 0x21) {
    if (start >= length || signature[start] != 0x00) return 0;
    ++start;
    --integerLength;
  } else if (integerLength == 0 || integerLength > 0x20) {
    return 0;
  }
  if (start + integerLength > length) return 0;
  std::memset(value, 0, 32);
  std::memcpy(value + 32 - integerLength, signature + start, integerLength);
  return start + integerLength;
}

class VerifyContext {
 public:
  VerifyContext() {
    mbedtls_ecp_group_init(&group);
    mbedtls_ecp_point_init(&key);
    mbedtls_mpi_init(&r);
    mbedtls_mpi_init(&s);
  }
  ~VerifyContext() {
    mbedtls_mpi_free(&s);
    mbedtls_mpi_free(&r);
    mbedtls_ecp_point_free(&key);
    mbedtls_ecp_group_free(&group);
  }
  VerifyContext(const VerifyContext&) = delete;
  VerifyContext& operator=(const VerifyContext&) = delete;

  mbedtls_ecp_group group;
  mbedtls_ecp_point key;
  mbedtls_mpi r;
  mbedtls_mpi s;
};

}  // namespace

int VerifyP256Signature(const uint8_t* publicKey, uint32_t publicKeyLength, const uint8_t* data,
                        uint32_t dataLength, const uint8_t* signature, uint32_t signatureLength) {
  if (publicKey == nullptr || publicKeyLength != 65) return -1;
  if (signature == nullptr || signatureLength < 2 || signature[0] != DER_SEQUENCE) return -1;
  uint8_t rValue[32], sValue[32];
  const size_t afterR = IntegerValue(signature, signatureLength, 2, rValue);
  if (afterR == 0) return -1;
  if (IntegerValue(signature, signatureLength, afterR, sValue) == 0) return -2;

  uint8_t hash[32];
  static const uint8_t kNoData = 0;
  int ret = mbedtls_sha256_ret(data == nullptr ? &kNoData : data, data == nullptr ? 0 : dataLength,
                               hash, 0);
  if (ret != 0) return ret;

  VerifyContext context;
  ret = mbedtls_ecp_group_load(&context.group, MBEDTLS_ECP_DP_SECP256R1);
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.key.X, publicKey + 1, 32);
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.key.Y, publicKey + 33, 32);
  if (ret == 0) ret = mbedtls_mpi_lset(&context.key.Z, 1);
  if (ret == 0) ret = mbedtls_ecp_check_pubkey(&context.group, &context.key);
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.r, rValue, 32);
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.s, sValue, 32);
  if (ret != 0) return ret;
  return mbedtls_ecdsa_verify(&context.group, hash, sizeof hash, &context.key, &context.r,
                              &context.s);
}
