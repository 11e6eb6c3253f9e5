#include "attestation/signature_verify.h"

#include <mbedtls/ecdsa.h>
#include <mbedtls/ecp.h>
#include <mbedtls/sha256.h>

#include <cstddef>

namespace {

constexpr uint8_t DER_SEQUENCE = 0x30;
constexpr uint8_t DER_INTEGER = 0x02;

// The 32 value bytes of the INTEGER at `offset`: its length byte must be 0x20,
// or 0x21 with a leading zero byte. Answers the offset of the value and sets
// `next` to the offset after it; 0 when the INTEGER is not of that form or
// runs past the signature.
size_t IntegerValue(const uint8_t* signature, size_t length, size_t offset, size_t* next) {
  if (offset + 2 > length || signature[offset] != DER_INTEGER) return 0;
  const uint8_t integerLength = signature[offset + 1];
  size_t value = offset + 2;
  if (integerLength == 0x21) {
    if (value >= length || signature[value] != 0x00) return 0;
    ++value;
  } else if (integerLength != 0x20) {
    return 0;
  }
  if (value + 32 > length) return 0;
  *next = value + 32;
  return value;
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
  size_t afterR = 0;
  const size_t rOffset = IntegerValue(signature, signatureLength, 2, &afterR);
  if (rOffset == 0) return -1;
  size_t afterS = 0;
  const size_t sOffset = IntegerValue(signature, signatureLength, afterR, &afterS);
  if (sOffset == 0) return -2;

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
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.r, signature + rOffset, 32);
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.s, signature + sOffset, 32);
  if (ret != 0) return ret;
  return mbedtls_ecdsa_verify(&context.group, hash, sizeof hash, &context.key, &context.r,
                              &context.s);
}
