#include "attestation/u2f_registration.h"

bool ReadU2fRegistration(const uint8_t* bytes, uint32_t length, U2fRegistration* registration) {
  constexpr uint32_t kKeyHandleOffset = 1 + U2F_USER_PUBLIC_KEY_LENGTH + 1;
  if (bytes == nullptr || registration == nullptr || length < kKeyHandleOffset) return false;
  const uint32_t keyHandleLength = bytes[1 + U2F_USER_PUBLIC_KEY_LENGTH];
  const uint32_t certificateOffset = kKeyHandleOffset + keyHandleLength;
  // The certificate's head: 30 82 and its length in two bytes.
  if (length - kKeyHandleOffset < keyHandleLength || length - certificateOffset < 4) return false;
  const uint8_t* certificate = bytes + certificateOffset;
  if (certificate[0] != 0x30 || certificate[1] != 0x82) return false;
  const uint32_t certificateLength = ((uint32_t{certificate[2]} << 8) | certificate[3]) + 4;
  if (certificateLength > length - certificateOffset) return false;
  const uint32_t signatureLength = length - certificateOffset - certificateLength;
  if (signatureLength > U2F_MAX_SIGNATURE_LENGTH) return false;

  registration->userPublicKey = bytes + 1;
  registration->keyHandle = bytes + kKeyHandleOffset;
  registration->keyHandleLength = keyHandleLength;
  registration->certificate = certificate;
  registration->certificateLength = certificateLength;
  registration->signature = certificate + certificateLength;
  registration->signatureLength = signatureLength;
  return true;
}
