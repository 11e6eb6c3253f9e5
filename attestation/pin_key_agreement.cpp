// The key agreement of the PIN protocols: ECDH on P-256 between a platform
// key pair and the key's key-agreement key. Protocol 1 hashes its x
// coordinate into the shared secret; protocol 2 derives keys from it.
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/ecp.h>
#include <mbedtls/entropy.h>
#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>

#include "attestation/pin_protocol.h"
#include "cbor/cbor_view.h"

namespace {

// The coordinate under `label` (-2 for x, -3 for y) of the COSE key under
// key 1: the first 32 bytes of a byte string at least that long.
const uint8_t* PeerCoordinate(const CborView& answer, int32_t label) {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!answer.FindIntKey(1).FindIntKey(label).GetBytes(bytes, length)) return nullptr;
  if (length < 32) return nullptr;
  return bytes;
}

// Everything mbedTLS needs for one agreement, released on every path.
class AgreementContext {
 public:
  AgreementContext() {
    mbedtls_entropy_init(&entropy);
    mbedtls_ctr_drbg_init(&drbg);
    mbedtls_ecp_group_init(&group);
    mbedtls_mpi_init(&privateKey);
    mbedtls_ecp_point_init(&publicKey);
    mbedtls_ecp_point_init(&peer);
    mbedtls_mpi_init(&sharedValue);
  }
  ~AgreementContext() {
    mbedtls_mpi_free(&sharedValue);
    mbedtls_ecp_point_free(&peer);
    mbedtls_ecp_point_free(&publicKey);
    mbedtls_mpi_free(&privateKey);
    mbedtls_ecp_group_free(&group);
    mbedtls_ctr_drbg_free(&drbg);
    mbedtls_entropy_free(&entropy);
  }
  AgreementContext(const AgreementContext&) = delete;
  AgreementContext& operator=(const AgreementContext&) = delete;

  mbedtls_entropy_context entropy;
  mbedtls_ctr_drbg_context drbg;
  mbedtls_ecp_group group;
  mbedtls_mpi privateKey;
  mbedtls_ecp_point publicKey;
  mbedtls_ecp_point peer;
  mbedtls_mpi sharedValue;
};

// `platformScalar` null: a fresh key pair from the generator.
int32_t Derive(const uint8_t* answer, uint32_t length, const uint8_t* platformScalar,
               uint8_t sharedX[32], uint8_t platformX[32], uint8_t platformY[32]) {
  const CborView view(answer, answer == nullptr ? 0 : length);
  const uint8_t* peerX = PeerCoordinate(view, -2);
  if (peerX == nullptr) return PIN_CBOR_ERROR;
  const uint8_t* peerY = PeerCoordinate(view, -3);
  if (peerY == nullptr) return PIN_CBOR_ERROR;

  AgreementContext context;
  static const unsigned char kPersonalization[] = "ecdh";  // with its zero byte: 5 bytes
  if (mbedtls_ctr_drbg_seed(&context.drbg, mbedtls_entropy_func, &context.entropy, kPersonalization,
                            sizeof kPersonalization) != 0) {
    return PIN_CBOR_ERROR;
  }
  int ret = mbedtls_ecp_group_load(&context.group, MBEDTLS_ECP_DP_SECP256R1);
  if (ret != 0) return ret;
  if (platformScalar == nullptr) {
    ret = mbedtls_ecp_gen_privkey(&context.group, &context.privateKey, mbedtls_ctr_drbg_random,
                                  &context.drbg);
  } else {
    ret = mbedtls_mpi_read_binary(&context.privateKey, platformScalar, 32);
    if (ret == 0) ret = mbedtls_ecp_check_privkey(&context.group, &context.privateKey);
  }
  if (ret != 0) return ret;
  ret = mbedtls_ecp_mul(&context.group, &context.publicKey, &context.privateKey, &context.group.G,
                        mbedtls_ctr_drbg_random, &context.drbg);
  if (ret != 0) return ret;
  ret = mbedtls_mpi_write_binary(&context.publicKey.X, platformX, 32);
  if (ret == 0) ret = mbedtls_mpi_write_binary(&context.publicKey.Y, platformY, 32);
  if (ret != 0) return ret;

  ret = mbedtls_mpi_read_binary(&context.peer.X, peerX, 32);
  if (ret == 0) ret = mbedtls_mpi_read_binary(&context.peer.Y, peerY, 32);
  if (ret == 0) ret = mbedtls_mpi_lset(&context.peer.Z, 1);
  if (ret != 0) return ret;
  // Refuses a peer point that is not on the curve.
  ret = mbedtls_ecdh_compute_shared(&context.group, &context.sharedValue, &context.peer,
                                    &context.privateKey, mbedtls_ctr_drbg_random, &context.drbg);
  if (ret != 0) return ret;

  return mbedtls_mpi_write_binary(&context.sharedValue, sharedX, 32);
}

int32_t HashedSecret(int32_t ret, uint8_t sharedX[32], uint8_t sharedSecret[32]) {
  if (ret == 0) ret = mbedtls_sha256_ret(sharedX, 32, sharedSecret, 0);
  mbedtls_platform_zeroize(sharedX, 32);
  return ret;
}

}  // namespace

int32_t DeriveSharedSecret(const uint8_t* answer, uint32_t length, uint8_t sharedSecret[32],
                           uint8_t platformX[32], uint8_t platformY[32]) {
  uint8_t sharedX[32];
  return HashedSecret(Derive(answer, length, nullptr, sharedX, platformX, platformY), sharedX,
                      sharedSecret);
}

int32_t DeriveSharedSecret(const uint8_t* answer, uint32_t length, const uint8_t platformScalar[32],
                           uint8_t sharedSecret[32], uint8_t platformX[32], uint8_t platformY[32]) {
  if (platformScalar == nullptr) return MBEDTLS_ERR_ECP_BAD_INPUT_DATA;
  uint8_t sharedX[32];
  return HashedSecret(Derive(answer, length, platformScalar, sharedX, platformX, platformY),
                      sharedX, sharedSecret);
}

int32_t DeriveSharedX(const uint8_t* answer, uint32_t length, const uint8_t* platformScalar,
                      uint8_t sharedX[32], uint8_t platformX[32], uint8_t platformY[32]) {
  return Derive(answer, length, platformScalar, sharedX, platformX, platformY);
}
