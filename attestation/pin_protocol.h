// CTAP2 PIN protocol 1: a PIN token from the key, and the pinAuth of a
// request.
#pragma once

#include <cstdint>
#include <string>

#include "attestation/user_prompt.h"

constexpr int32_t PIN_CBOR_ERROR = 18;  // the key-agreement answer cannot be read

// `pinText`: the PIN as typed (UTF-8). Answers 0 with the 32-byte token, -1
// (empty PIN, after the message; no token in the answer), a CTAP status or
// transport code, 18, or a negative mbedTLS error code.
int32_t GetPinToken(const std::string& pinText, uint8_t token[32], UserPrompt& prompt);

int32_t DeriveSharedSecret(const uint8_t* answer, uint32_t length, uint8_t sharedSecret[32],
                           uint8_t platformX[32], uint8_t platformY[32]);

void ComputePinAuth(const uint8_t pinToken[32], const uint8_t clientDataHash[32],
                    uint8_t pinAuth[16]);
