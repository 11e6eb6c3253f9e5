#include "attestation/pin_uv_protocol.h"

#include <mbedtls/aes.h>
#include <mbedtls/hkdf.h>
#include <mbedtls/md.h>
#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>

#include <cstring>
#include <string>

#include "attestation/fresh_challenge.h"

namespace {

constexpr uint32_t kBlock = 16;

int Cbc(int mode, const uint8_t key[32], uint8_t iv[16], const uint8_t* input, size_t length,
        uint8_t* output) {
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  int ret = mode == MBEDTLS_AES_ENCRYPT ? mbedtls_aes_setkey_enc(&aes, key, 256)
                                        : mbedtls_aes_setkey_dec(&aes, key, 256);
  if (ret == 0) ret = mbedtls_aes_crypt_cbc(&aes, mode, length, iv, input, output);
  mbedtls_aes_free(&aes);
  return ret;
}

int Hkdf(const uint8_t sharedX[32], const char* info, uint8_t out[32]) {
  const uint8_t salt[32] = {};
  return mbedtls_hkdf(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), salt, sizeof salt, sharedX, 32,
                      reinterpret_cast<const unsigned char*>(info), std::strlen(info), out, 32);
}

}  // namespace

PinUvSecret::~PinUvSecret() {
  mbedtls_platform_zeroize(hmacKey, sizeof hmacKey);
  mbedtls_platform_zeroize(aesKey, sizeof aesKey);
}

int32_t MakePinUvSecret(uint8_t protocol, const uint8_t sharedX[32], PinUvSecret& secret) {
  secret.protocol = protocol;
  if (protocol == 1) {
    const int ret = mbedtls_sha256_ret(sharedX, 32, secret.hmacKey, 0);
    std::memcpy(secret.aesKey, secret.hmacKey, 32);
    return ret;
  }
  if (protocol != 2) return -1;
  const int ret = Hkdf(sharedX, "CTAP2 HMAC key", secret.hmacKey);
  return ret != 0 ? ret : Hkdf(sharedX, "CTAP2 AES key", secret.aesKey);
}

int32_t PinUvEncrypt(const PinUvSecret& secret, const uint8_t* data, uint32_t length, uint8_t* out,
                     uint32_t* outLength, const uint8_t* fixedIv) {
  if (length == 0 || length % kBlock != 0) return -1;
  uint8_t iv[kBlock] = {};
  uint32_t offset = 0;
  if (secret.protocol == 2) {
    if (fixedIv != nullptr) {
      std::memcpy(iv, fixedIv, kBlock);
    } else {
      uint8_t random[CHALLENGE_LENGTH];
      std::string problem;
      if (!FreshChallenge(random, problem)) return -1;
      std::memcpy(iv, random, kBlock);
    }
    std::memcpy(out, iv, kBlock);
    offset = kBlock;
  }
  const int ret = Cbc(MBEDTLS_AES_ENCRYPT, secret.aesKey, iv, data, length, out + offset);
  if (ret == 0) *outLength = offset + length;
  return ret;
}

int32_t PinUvDecrypt(const PinUvSecret& secret, const uint8_t* data, uint32_t length, uint8_t* out,
                     uint32_t* outLength) {
  uint8_t iv[kBlock] = {};
  const uint32_t offset = secret.protocol == 2 ? kBlock : 0;
  if (length <= offset || (length - offset) % kBlock != 0) return -1;
  if (offset != 0) std::memcpy(iv, data, kBlock);
  const int ret = Cbc(MBEDTLS_AES_DECRYPT, secret.aesKey, iv, data + offset, length - offset, out);
  if (ret == 0) *outLength = length - offset;
  return ret;
}
