// The splitting of a U2F registration answer on arbitrary bytes. The answer
// lives in a heap block of exactly its size, so a read past it trips
// AddressSanitizer; every part handed back must lie inside it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "attestation/u2f_registration.h"

namespace {

bool Inside(const uint8_t* part, uint32_t length, const uint8_t* data, size_t size) {
  return part >= data && static_cast<size_t>(part - data) <= size &&
         length <= size - static_cast<size_t>(part - data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 6000) return 0;
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
  if (size != 0) std::memcpy(bytes.get(), data, size);
  U2fRegistration registration;
  if (!ReadU2fRegistration(bytes.get(), static_cast<uint32_t>(size), &registration)) {
    if (registration.certificate != nullptr) __builtin_trap();  // left as it was
    return 0;
  }
  const uint8_t* begin = bytes.get();
  if (!Inside(registration.userPublicKey, U2F_USER_PUBLIC_KEY_LENGTH, begin, size) ||
      !Inside(registration.keyHandle, registration.keyHandleLength, begin, size) ||
      !Inside(registration.certificate, registration.certificateLength, begin, size) ||
      !Inside(registration.signature, registration.signatureLength, begin, size) ||
      registration.signatureLength > U2F_MAX_SIGNATURE_LENGTH ||
      registration.signature + registration.signatureLength != begin + size) {
    __builtin_trap();
  }
  // Touch every byte handed back.
  uint8_t sum = 0;
  for (uint32_t i = 0; i < registration.keyHandleLength; ++i) sum += registration.keyHandle[i];
  for (uint32_t i = 0; i < registration.certificateLength; ++i) sum += registration.certificate[i];
  for (uint32_t i = 0; i < registration.signatureLength; ++i) sum += registration.signature[i];
  // Keeps the reads from being optimised away.
  volatile uint8_t sink = sum;
  (void)sink;
  return 0;
}
