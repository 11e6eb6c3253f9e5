// The pinUvAuthProtocol and pinUvAuthParam a caller computed with its token,
// shared by the request builders of this folder.
#pragma once

#include <cstdint>

#include "cbor/cbor_writer.h"

struct PinUvAuth {
  uint8_t protocol = 0;  // 1 or 2
  const uint8_t* param = nullptr;
  uint32_t length = 0;  // 16 for protocol 1, 32 for protocol 2
};

// Protocol 1 truncates the HMAC to 16 bytes, protocol 2 keeps all 32.
bool PinUvAuthIsValid(const PinUvAuth& auth);

// Writes the two members {protocolKey: protocol, paramKey: param}.
void WritePinUvAuth(CborWriter& writer, const PinUvAuth& auth, int64_t protocolKey,
                    int64_t paramKey);

// pinUvAuthParam over `message` keyed with `key` (a token, or protocol 2's
// HMAC key): HMAC-SHA-256, its first 16 bytes for protocol 1, all 32 for
// protocol 2. Answers the length written, 0 for another protocol.
uint32_t ComputePinUvAuthParam(uint8_t protocol, const uint8_t* key, uint32_t keyLength,
                               const uint8_t* message, uint32_t messageLength, uint8_t out[32]);
