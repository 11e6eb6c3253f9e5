// The requests of authenticatorCredentialManagement that read, and the
// message each pinUvAuthParam authenticates.
#pragma once

#include <cstdint>

#include "cbor/cbor_writer.h"
#include "credentials/pin_uv_auth.h"

constexpr uint8_t CTAP_CREDENTIAL_MANAGEMENT = 0x0A;
// CTAP 2.1 pre-release firmware offers only this (credentialMgmtPreview).
constexpr uint8_t CTAP_CREDENTIAL_MANAGEMENT_PREVIEW = 0x41;

constexpr uint8_t CREDMAN_GET_CREDS_METADATA = 0x01;
constexpr uint8_t CREDMAN_ENUMERATE_RPS_BEGIN = 0x02;
constexpr uint8_t CREDMAN_ENUMERATE_RPS_NEXT = 0x03;
constexpr uint8_t CREDMAN_ENUMERATE_CREDENTIALS_BEGIN = 0x04;
constexpr uint8_t CREDMAN_ENUMERATE_CREDENTIALS_NEXT = 0x05;

// Room for the longest authenticated message: the subcommand and {1: rpIDHash}.
constexpr uint32_t CREDMAN_AUTH_MESSAGE_MAX = 40;

struct CredmanCall {
  uint8_t command = CTAP_CREDENTIAL_MANAGEMENT;
  uint8_t subCommand = CREDMAN_GET_CREDS_METADATA;
  const uint8_t* rpIdHash = nullptr;  // 32 bytes; enumerateCredentialsBegin only
};

// Whether the subcommand carries a pinUvAuthParam (the GetNext calls do not).
bool CredmanNeedsAuth(uint8_t subCommand);

// Writes the subcommand byte followed by the encoded subCommandParams into
// `message`; answers its length, 0 for a call that cannot be made (unknown
// subcommand, enumerateCredentialsBegin without rpIDHash).
uint32_t WriteCredmanAuthMessage(const CredmanCall& call,
                                 uint8_t message[CREDMAN_AUTH_MESSAGE_MAX]);

// Writes the request, command byte first; `auth` is used only where the
// subcommand takes it, and must then be valid. Answers the length, or 0 for a
// call that cannot be made.
uint32_t WriteCredmanRequest(const CredmanCall& call, const PinUvAuth& auth,
                             uint8_t request[CTAP_REQUEST_BUFFER_SIZE]);
