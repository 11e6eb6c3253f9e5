// The simulated key's own cryptography, on mbedTLS: a random generator that
// gives the same bytes in every run, P-256 keys, SHA-256, HMAC-SHA-256 and
// AES-256-CBC with a zero IV. Kept apart from the host's code on purpose.
#pragma once

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/pk.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using SimHash = std::array<uint8_t, 32>;

// CTR-DRBG over a fixed entropy source: every generator made with the same
// personalization gives the same bytes, so keys and certificates are the
// same in every run.
class SimRandom {
 public:
  explicit SimRandom(std::string_view personalization);
  ~SimRandom();
  SimRandom(const SimRandom&) = delete;
  SimRandom& operator=(const SimRandom&) = delete;

  std::vector<uint8_t> Bytes(size_t count);
  // The mbedTLS generator callback; `self` is a SimRandom.
  static int Generate(void* self, unsigned char* out, size_t length);

 private:
  mbedtls_ctr_drbg_context drbg_;
};

// One P-256 key pair, held as an mbedTLS key so that certificates can be
// written with it.
class SimEcKey {
 public:
  SimEcKey();
  ~SimEcKey();
  SimEcKey(const SimEcKey&) = delete;
  SimEcKey& operator=(const SimEcKey&) = delete;

  // Replaces the key with a fresh one. False when mbedTLS fails.
  bool Generate(SimRandom& random);
  // Replaces the key with the one of this P-256 scalar (32 bytes, big
  // endian). False when it is not a valid scalar (0, the order or above).
  bool FromScalar(const std::vector<uint8_t>& scalar, SimRandom& random);
  // 65 bytes: 04, x, y.
  std::vector<uint8_t> PublicKey() const;
  // DER ECDSA signature over SHA-256(data); empty when mbedTLS fails.
  std::vector<uint8_t> Sign(const std::vector<uint8_t>& data, SimRandom& random);
  // SHA-256 of the x coordinate of this key times the peer point (CTAP2 PIN
  // protocol 1). False when the peer point is not on the curve.
  bool SharedSecret(const uint8_t peerX[32], const uint8_t peerY[32], SimRandom& random,
                    SimHash& secret);
  // The x coordinate itself (the input of PIN protocol 2's key derivation).
  bool SharedPoint(const uint8_t peerX[32], const uint8_t peerY[32], SimRandom& random, SimHash& x);

  mbedtls_pk_context* pk() { return &pk_; }

 private:
  mbedtls_pk_context pk_;
};

// Whether the 32 bytes are a valid P-256 private scalar (1 to the order - 1).
bool SimP256ScalarValid(const std::vector<uint8_t>& scalar);

SimHash SimSha256(const uint8_t* data, size_t length);
SimHash SimHmacSha256(const std::vector<uint8_t>& key, const uint8_t* data, size_t length);
// AES-256-CBC, IV 16 zero bytes, no padding. Empty when `data` is not whole
// blocks.
std::vector<uint8_t> SimAesCbc(const SimHash& key, const std::vector<uint8_t>& data, bool encrypt);
// The same with the IV given.
std::vector<uint8_t> SimAesCbcIv(const SimHash& key, const uint8_t iv[16],
                                 const std::vector<uint8_t>& data, bool encrypt);
// HKDF-SHA-256 with a salt of 32 zero bytes, 32 bytes of output.
SimHash SimHkdfSha256(const SimHash& input, std::string_view info);
