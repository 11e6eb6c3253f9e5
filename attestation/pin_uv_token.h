// The pinUvAuthToken that reads what a key stores: which way to ask for it,
// with the least permission that reads, and the asking itself over either PIN
// protocol.
#pragma once

#include <cstdint>
#include <string>

#include "attestation/pin_protocol.h"
#include "credentials/store_facts.h"
#include "credentials/stored_reading.h"

constexpr uint8_t CLIENT_PIN_GET_RETRIES = 0x01;
constexpr uint8_t CLIENT_PIN_GET_PIN_TOKEN = 0x05;
constexpr uint8_t CLIENT_PIN_GET_UV_TOKEN = 0x06;  // ...UsingUvWithPermissions
constexpr uint8_t CLIENT_PIN_GET_PIN_TOKEN_WITH_PERMISSIONS = 0x09;

constexpr uint8_t PERMISSION_CM = 0x04;
constexpr uint8_t PERMISSION_BE = 0x08;
constexpr uint8_t PERMISSION_PCMR = 0x40;

struct TokenPlan {
  uint8_t protocol = 1;
  bool uvFirst = false;  // subcommand 6 before the PIN
  uint8_t pinSubCommand = CLIENT_PIN_GET_PIN_TOKEN;
  uint8_t permissions = 0;  // 0 with getPinToken
  // pcmr cannot be combined: the fingerprints need a token of their own.
  bool separateBeToken = false;
};

// Protocol 2 when offered, else 1; pcmr with perCredMgmtRO, else cm (| be
// with `fingerprints`) with pinUvAuthToken, else getPinToken.
TokenPlan ChooseTokenPlan(const StoreFacts& facts, bool fingerprints);

// A token as the key handed it, wiped when it goes.
struct PinUvToken {
  uint8_t protocol = 0;
  uint8_t bytes[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t length = 0;
  PinUvToken() = default;
  ~PinUvToken();
  PinUvToken(const PinUvToken&) = delete;
  PinUvToken& operator=(const PinUvToken&) = delete;
  ReadingToken reading() const { return {protocol, bytes, length}; }
};

// Asks for a token with the PIN (`subCommand` 5 or 9; `permissions` only with
// 9) or with built-in UV (6, `pin` unused). Answers 0 with `token` filled; -1
// for an empty PIN or an answer without a usable token; a CTAP status or
// transport code; 18 for an unreadable key agreement; or a negative mbedTLS
// code. The PIN stays the caller's to wipe.
int32_t GetPinUvToken(const std::string& pin, uint8_t protocol, uint8_t subCommand,
                      uint8_t permissions, PinUvToken& token);

// The PIN retries left (getPINRetries), or -1 when the key does not say.
int32_t GetPinRetries(uint8_t protocol);

// Whether a failed UV token request should fall back to the PIN.
bool UvFailureFallsBackToPin(int32_t result);
