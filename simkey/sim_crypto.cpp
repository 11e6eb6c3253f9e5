#include "simkey/sim_crypto.h"

#include <mbedtls/aes.h>
#include <mbedtls/bignum.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/hkdf.h>
#include <mbedtls/md.h>
#include <mbedtls/sha256.h>

#include <algorithm>

namespace {

// Not random at all: the simulated key wants the same keys in every run.
int FixedEntropy(void* /*unused*/, unsigned char* out, size_t length) {
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(0x5A + 37 * i);
  return 0;
}

}  // namespace

SimRandom::SimRandom(std::string_view personalization) {
  mbedtls_ctr_drbg_init(&drbg_);
  // Seeding from a source that never fails cannot fail either.
  mbedtls_ctr_drbg_seed(&drbg_, FixedEntropy, nullptr,
                        reinterpret_cast<const unsigned char*>(personalization.data()),
                        personalization.size());
}

SimRandom::~SimRandom() { mbedtls_ctr_drbg_free(&drbg_); }

int SimRandom::Generate(void* self, unsigned char* out, size_t length) {
  SimRandom* random = static_cast<SimRandom*>(self);
  // One request of the generator is limited; longer ones go in parts.
  while (length > 0) {
    const size_t part = std::min<size_t>(length, MBEDTLS_CTR_DRBG_MAX_REQUEST);
    const int result = mbedtls_ctr_drbg_random(&random->drbg_, out, part);
    if (result != 0) return result;
    out += part;
    length -= part;
  }
  return 0;
}

std::vector<uint8_t> SimRandom::Bytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  if (count > 0) Generate(this, bytes.data(), count);
  return bytes;
}

SimEcKey::SimEcKey() { mbedtls_pk_init(&pk_); }

SimEcKey::~SimEcKey() { mbedtls_pk_free(&pk_); }

bool SimEcKey::Generate(SimRandom& random) {
  mbedtls_pk_free(&pk_);
  mbedtls_pk_init(&pk_);
  if (mbedtls_pk_setup(&pk_, mbedtls_pk_info_from_type(MBEDTLS_PK_ECKEY)) != 0) return false;
  return mbedtls_ecp_gen_key(MBEDTLS_ECP_DP_SECP256R1, mbedtls_pk_ec(pk_), SimRandom::Generate,
                             &random) == 0;
}

bool SimEcKey::FromScalar(const std::vector<uint8_t>& scalar, SimRandom& random) {
  mbedtls_pk_free(&pk_);
  mbedtls_pk_init(&pk_);
  if (scalar.size() != 32 ||
      mbedtls_pk_setup(&pk_, mbedtls_pk_info_from_type(MBEDTLS_PK_ECKEY)) != 0) {
    return false;
  }
  mbedtls_ecp_keypair* pair = mbedtls_pk_ec(pk_);
  return mbedtls_ecp_group_load(&pair->grp, MBEDTLS_ECP_DP_SECP256R1) == 0 &&
         mbedtls_mpi_read_binary(&pair->d, scalar.data(), scalar.size()) == 0 &&
         mbedtls_ecp_check_privkey(&pair->grp, &pair->d) == 0 &&
         mbedtls_ecp_mul(&pair->grp, &pair->Q, &pair->d, &pair->grp.G, SimRandom::Generate,
                         &random) == 0;
}

bool SimP256ScalarValid(const std::vector<uint8_t>& scalar) {
  SimRandom random("simkey scalar check");
  SimEcKey key;
  return key.FromScalar(scalar, random);
}

std::vector<uint8_t> SimEcKey::PublicKey() const {
  std::vector<uint8_t> point(65);
  size_t length = 0;
  const mbedtls_ecp_keypair* pair = mbedtls_pk_ec(pk_);
  if (pair == nullptr ||
      mbedtls_ecp_point_write_binary(&pair->grp, &pair->Q, MBEDTLS_ECP_PF_UNCOMPRESSED, &length,
                                     point.data(), point.size()) != 0) {
    return {};
  }
  point.resize(length);
  return point;
}

std::vector<uint8_t> SimEcKey::Sign(const std::vector<uint8_t>& data, SimRandom& random) {
  const SimHash hash = SimSha256(data.data(), data.size());
  std::vector<uint8_t> signature(MBEDTLS_ECDSA_MAX_LEN);
  size_t length = 0;
  if (mbedtls_pk_ec(pk_) == nullptr ||
      mbedtls_ecdsa_write_signature(mbedtls_pk_ec(pk_), MBEDTLS_MD_SHA256, hash.data(), hash.size(),
                                    signature.data(), &length, SimRandom::Generate, &random) != 0) {
    return {};
  }
  signature.resize(length);
  return signature;
}

bool SimEcKey::SharedSecret(const uint8_t peerX[32], const uint8_t peerY[32], SimRandom& random,
                            SimHash& secret) {
  SimHash x{};
  if (!SharedPoint(peerX, peerY, random, x)) return false;
  secret = SimSha256(x.data(), x.size());
  return true;
}

bool SimEcKey::SharedPoint(const uint8_t peerX[32], const uint8_t peerY[32], SimRandom& random,
                           SimHash& secret) {
  mbedtls_ecp_keypair* pair = mbedtls_pk_ec(pk_);
  if (pair == nullptr) return false;
  mbedtls_ecp_point peer;
  mbedtls_mpi shared;
  mbedtls_ecp_point_init(&peer);
  mbedtls_mpi_init(&shared);
  uint8_t x[32] = {};
  bool ok = mbedtls_mpi_read_binary(&peer.X, peerX, 32) == 0 &&
            mbedtls_mpi_read_binary(&peer.Y, peerY, 32) == 0 && mbedtls_mpi_lset(&peer.Z, 1) == 0 &&
            mbedtls_ecp_check_pubkey(&pair->grp, &peer) == 0 &&
            mbedtls_ecdh_compute_shared(&pair->grp, &shared, &peer, &pair->d, SimRandom::Generate,
                                        &random) == 0 &&
            mbedtls_mpi_write_binary(&shared, x, sizeof x) == 0;
  if (ok) std::copy(x, x + sizeof x, secret.begin());
  mbedtls_mpi_free(&shared);
  mbedtls_ecp_point_free(&peer);
  return ok;
}

SimHash SimSha256(const uint8_t* data, size_t length) {
  SimHash hash{};
  mbedtls_sha256_ret(data, length, hash.data(), 0);
  return hash;
}

SimHash SimHmacSha256(const std::vector<uint8_t>& key, const uint8_t* data, size_t length) {
  SimHash mac{};
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key.data(), key.size(), data,
                  length, mac.data());
  return mac;
}

std::vector<uint8_t> SimAesCbc(const SimHash& key, const std::vector<uint8_t>& data, bool encrypt) {
  const uint8_t zero[16] = {};
  return SimAesCbcIv(key, zero, data, encrypt);
}

SimHash SimHkdfSha256(const SimHash& input, std::string_view info) {
  const uint8_t salt[32] = {};
  SimHash out{};
  mbedtls_hkdf(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), salt, sizeof salt, input.data(),
               input.size(), reinterpret_cast<const unsigned char*>(info.data()), info.size(),
               out.data(), out.size());
  return out;
}

std::vector<uint8_t> SimAesCbcIv(const SimHash& key, const uint8_t givenIv[16],
                                 const std::vector<uint8_t>& data, bool encrypt) {
  if (data.size() % 16 != 0) return {};
  std::vector<uint8_t> out(data.size());
  unsigned char iv[16];
  std::copy(givenIv, givenIv + 16, iv);
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  const int keyResult = encrypt ? mbedtls_aes_setkey_enc(&aes, key.data(), 256)
                                : mbedtls_aes_setkey_dec(&aes, key.data(), 256);
  const int result = keyResult != 0 ? keyResult
                                    : mbedtls_aes_crypt_cbc(
                                          &aes, encrypt ? MBEDTLS_AES_ENCRYPT : MBEDTLS_AES_DECRYPT,
                                          data.size(), iv, data.data(), out.data());
  mbedtls_aes_free(&aes);
  if (result != 0) return {};
  return out;
}
