// The two PIN/UV auth protocols on the host side: the keys derived from the
// ECDH x coordinate Z, and the encryption they use.
#pragma once

#include <cstdint>

// Protocol 1: SHA-256(Z) is both keys. Protocol 2: HKDF-SHA-256 over Z with
// 32 zero bytes of salt, "CTAP2 HMAC key" then "CTAP2 AES key".
struct PinUvSecret {
  uint8_t protocol = 1;
  uint8_t hmacKey[32] = {};
  uint8_t aesKey[32] = {};
  PinUvSecret() = default;
  ~PinUvSecret();
  PinUvSecret(const PinUvSecret&) = delete;
  PinUvSecret& operator=(const PinUvSecret&) = delete;
};

// Answers 0, or a negative mbedTLS code; -1 for a protocol other than 1 or 2.
int32_t MakePinUvSecret(uint8_t protocol, const uint8_t sharedX[32], PinUvSecret& secret);

// Protocol 1: AES-256-CBC with a zero IV. Protocol 2: a random 16-byte IV
// (or `fixedIv`, for known answers) followed by AES-256-CBC with it.
// `length` must be a multiple of 16 and `out` hold length + 16 bytes.
// Answers 0 with the length in `outLength`, -1 when no IV could be made, or
// a negative mbedTLS code.
int32_t PinUvEncrypt(const PinUvSecret& secret, const uint8_t* data, uint32_t length, uint8_t* out,
                     uint32_t* outLength, const uint8_t* fixedIv = nullptr);
// The reverse; -1 for a length that is not a whole number of blocks (after
// protocol 2's IV) or is none.
int32_t PinUvDecrypt(const PinUvSecret& secret, const uint8_t* data, uint32_t length, uint8_t* out,
                     uint32_t* outLength);
