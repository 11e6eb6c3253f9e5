// The U2F registration answer, read in place and only within its bytes.
#pragma once

#include <cstdint>

constexpr uint32_t U2F_USER_PUBLIC_KEY_LENGTH = 65;
// The longest signature taken: an ECDSA signature is some 72 bytes; longer
// ones are refused rather than handed on.
constexpr uint32_t U2F_MAX_SIGNATURE_LENGTH = 256;

// Pointers into the answer that was read; valid as long as it is.
struct U2fRegistration {
  const uint8_t* userPublicKey = nullptr;  // U2F_USER_PUBLIC_KEY_LENGTH bytes
  const uint8_t* keyHandle = nullptr;
  uint32_t keyHandleLength = 0;
  const uint8_t* certificate = nullptr;
  uint32_t certificateLength = 0;
  const uint8_t* signature = nullptr;
  uint32_t signatureLength = 0;
};

// Splits a registration answer:
//   05 | user public key (65) | L | key handle (L) | certificate | signature
// The certificate's length comes from its head, which must be 30 82 and a
// two-byte length; the signature is the rest. False when a part runs past
// `length`, the head is another, or the signature is longer than
// U2F_MAX_SIGNATURE_LENGTH; `registration` is then left as it was.
bool ReadU2fRegistration(const uint8_t* bytes, uint32_t length, U2fRegistration* registration);
