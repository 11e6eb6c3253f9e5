// The reading of the two authenticatorClientPIN answers on arbitrary CBOR:
// the key agreement (with a fixed platform key, so nothing depends on the
// generator's output) and the pinToken. The answer lives in a heap block of
// exactly its size, so a read past it trips AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "attestation/pin_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::unique_ptr<uint8_t[]> answer(new uint8_t[size]);
  if (size != 0) std::memcpy(answer.get(), data, size);
  const uint32_t length = static_cast<uint32_t>(size);

  static const uint8_t kPlatformScalar[32] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                              12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                                              23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  uint8_t sharedSecret[32] = {};
  uint8_t platformX[32] = {};
  uint8_t platformY[32] = {};
  const int32_t derived =
      DeriveSharedSecret(answer.get(), length, kPlatformScalar, sharedSecret, platformX, platformY);
  if (derived != 0 && derived != PIN_CBOR_ERROR && derived >= 0) __builtin_trap();

  uint8_t token[PIN_TOKEN_MAX_LENGTH];
  std::memset(token, 0xA5, sizeof token);
  uint32_t tokenLength = 0xA5A5;
  const int32_t read = ReadPinTokenAnswer(answer.get(), length, sharedSecret, token, &tokenLength);
  if (read == -1) {
    for (uint8_t b : token) {
      if (b != 0xA5) __builtin_trap();  // a refused answer leaves the token alone
    }
    if (tokenLength != 0xA5A5) __builtin_trap();
  } else if (read != 0 || tokenLength == 0 || tokenLength % 16 != 0 ||
             tokenLength > PIN_TOKEN_MAX_LENGTH) {
    __builtin_trap();
  }
  return 0;
}
