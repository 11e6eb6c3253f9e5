// The reading of an authenticatorMakeCredential answer on arbitrary CBOR, of
// the certificates its "x5c" holds, and the check of what it proved. The answer lives in a heap
// block of exactly its size, so a read past it trips AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "attestation/attestation_proof.h"
#include "attestation/make_credential_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 5000) return 0;
  std::unique_ptr<uint8_t[]> answer(new uint8_t[size]);
  if (size != 0) std::memcpy(answer.get(), data, size);
  MakeCredentialAnswer read;
  const int result = ReadMakeCredentialAnswer(answer.get(), static_cast<uint32_t>(size), &read);
  if (result == MAKE_CREDENTIAL_BAD_ANSWER) return 0;
  if (result != MAKE_CREDENTIAL_OK && result != MAKE_CREDENTIAL_NO_X5C) __builtin_trap();
  if (read.authDataLength == 0 || read.authDataLength > MAKE_CREDENTIAL_MAX_AUTH_DATA ||
      read.signatureLength == 0) {
    __builtin_trap();
  }
  uint8_t sum = 0;
  for (uint32_t i = 0; i < read.authDataLength; ++i) sum += read.authData[i];
  for (uint32_t i = 0; i < read.signatureLength; ++i) sum += read.signature[i];
  for (int index = 0; index < 3; ++index) {
    const uint8_t* certificate = nullptr;
    uint32_t length = 0;
    if (!read.x5c.ElementAt(index).GetBytes(certificate, length)) continue;
    for (uint32_t i = 0; i < length; ++i) sum += certificate[i];
  }
  const uint8_t* leaf = nullptr;
  uint32_t leafLength = 0;
  if (read.x5c.ElementAt(0).GetBytes(leaf, leafLength)) {
    QuillmarkModel model;
    RecordFido2Proof(model, read, leaf, leafLength, read.authData, read.authDataLength);
    const size_t aaguid = model.attestationAuthDataAaguid.size();
    if (aaguid != 0 && aaguid != 32) __builtin_trap();
    if ((model.attestationSignature == AttestationSignature::kUnsupported) ==
        model.attestationSignatureProblem.empty()) {
      __builtin_trap();
    }
  }
  // Keeps the reads from being optimised away.
  volatile uint8_t sink = sum;
  (void)sink;
  return 0;
}
