#include "metadata/jws_signature.h"

#include <mbedtls/ecp.h>
#include <mbedtls/pk.h>
#include <mbedtls/sha256.h>

namespace {

void AppendInteger(std::vector<uint8_t>& der, const uint8_t* bytes, size_t length) {
  while (length > 1 && bytes[0] == 0) {
    ++bytes;
    --length;
  }
  const bool pad = (bytes[0] & 0x80) != 0;
  der.push_back(0x02);
  der.push_back(static_cast<uint8_t>(length + (pad ? 1 : 0)));
  if (pad) der.push_back(0x00);
  der.insert(der.end(), bytes, bytes + length);
}

}  // namespace

std::vector<uint8_t> RawEcdsaSignatureToDer(const std::vector<uint8_t>& raw) {
  // 66-byte halves (P-521) keep every length within one DER length byte.
  if (raw.empty() || raw.size() % 2 != 0 || raw.size() > 132) return {};
  const size_t half = raw.size() / 2;
  std::vector<uint8_t> integers;
  AppendInteger(integers, raw.data(), half);
  AppendInteger(integers, raw.data() + half, half);
  std::vector<uint8_t> der = {0x30};
  if (integers.size() >= 0x80) der.push_back(0x81);
  der.push_back(static_cast<uint8_t>(integers.size()));
  der.insert(der.end(), integers.begin(), integers.end());
  return der;
}

std::string CheckJwsSignature(JwsAlgorithm algorithm, mbedtls_x509_crt& leaf,
                              std::string_view signingInput,
                              const std::vector<uint8_t>& signature) {
  uint8_t hash[32];
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(signingInput.data()),
                     signingInput.size(), hash, 0);
  mbedtls_pk_context* key = &leaf.pk;
  if (algorithm == JwsAlgorithm::kRs256) {
    if (!mbedtls_pk_can_do(key, MBEDTLS_PK_RSA)) return "the signer's key is not an RSA key";
    if (signature.size() != mbedtls_pk_get_len(key)) return "the signature has the wrong length";
    if (mbedtls_pk_verify(key, MBEDTLS_MD_SHA256, hash, sizeof hash, signature.data(),
                          signature.size()) != 0) {
      return "the signature does not match its content";
    }
    return {};
  }
  if (!mbedtls_pk_can_do(key, MBEDTLS_PK_ECDSA) ||
      mbedtls_pk_ec(*key)->grp.id != MBEDTLS_ECP_DP_SECP256R1) {
    return "the signer's key is not a P-256 key";
  }
  if (signature.size() != 64) return "the signature has the wrong length";
  const std::vector<uint8_t> der = RawEcdsaSignatureToDer(signature);
  if (mbedtls_pk_verify(key, MBEDTLS_MD_SHA256, hash, sizeof hash, der.data(), der.size()) != 0) {
    return "the signature does not match its content";
  }
  return {};
}
