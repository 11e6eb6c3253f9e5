#include "attestation/pin_uv_token.h"

#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>

#include <algorithm>
#include <cstring>

#include "attestation/pin_uv_protocol.h"
#include "cbor/cbor_view.h"
#include "transport/key_device.h"

namespace {

constexpr uint8_t kClientPin = 0x06;
constexpr uint8_t kGetKeyAgreement = 0x02;

bool Offers(const StoreFacts& facts, uint32_t protocol) {
  return std::find(facts.pinUvAuthProtocols.begin(), facts.pinUvAuthProtocols.end(), protocol) !=
         facts.pinUvAuthProtocols.end();
}

// {1: protocol, 2: subCommand}, command byte first.
uint32_t WriteSimpleRequest(uint8_t protocol, uint8_t subCommand, uint8_t* request) {
  request[0] = kClientPin;
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(2);
  writer.WriteInt(1);
  writer.WriteInt(protocol);
  writer.WriteInt(2);
  writer.WriteInt(subCommand);
  return writer.position() + 1;
}

uint16_t Send(const uint8_t* request, uint32_t length, uint8_t* answer, uint32_t& answerLength) {
  std::memset(answer, 0, PIN_ANSWER_ROOM);
  answerLength = PIN_ANSWER_ROOM;
  return KeySendCbor(request, static_cast<int>(length), answer, &answerLength);
}

}  // namespace

TokenPlan ChooseTokenPlan(const StoreFacts& facts, bool fingerprints) {
  TokenPlan plan;
  plan.protocol = Offers(facts, 2) ? 2 : 1;
  if (facts.perCredMgmtRO) {
    plan.pinSubCommand = CLIENT_PIN_GET_PIN_TOKEN_WITH_PERMISSIONS;
    plan.permissions = PERMISSION_PCMR;
    plan.separateBeToken = fingerprints;
  } else if (facts.pinUvAuthToken) {
    plan.pinSubCommand = CLIENT_PIN_GET_PIN_TOKEN_WITH_PERMISSIONS;
    plan.permissions = PERMISSION_CM | (fingerprints ? PERMISSION_BE : 0);
  } else {
    // Pre-2.1 firmware: protocol 1 unless it offers only 2.
    plan.protocol = Offers(facts, 2) && !Offers(facts, 1) ? 2 : 1;
  }
  plan.uvFirst = facts.uv && facts.pinUvAuthToken;
  return plan;
}

PinUvToken::~PinUvToken() { mbedtls_platform_zeroize(bytes, sizeof bytes); }

int32_t GetPinUvToken(const std::string& pin, uint8_t protocol, uint8_t subCommand,
                      uint8_t permissions, PinUvToken& token) {
  const bool withPin = subCommand != CLIENT_PIN_GET_UV_TOKEN;
  if (withPin && pin.empty()) return -1;
  uint8_t answer[PIN_ANSWER_ROOM];
  WipeOnExit wipeAnswer(answer, sizeof answer);
  uint32_t answerLength = 0;
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE] = {};
  WipeOnExit wipeRequest(request, sizeof request);
  uint16_t status =
      Send(request, WriteSimpleRequest(protocol, kGetKeyAgreement, request), answer, answerLength);
  if (status != 0) return status;

  uint8_t sharedX[32];
  WipeOnExit wipeX(sharedX, sizeof sharedX);
  uint8_t platformX[32];
  uint8_t platformY[32];
  int32_t result = DeriveSharedX(answer, answerLength, nullptr, sharedX, platformX, platformY);
  if (result != 0) return result;
  PinUvSecret secret;
  result = MakePinUvSecret(protocol, sharedX, secret);
  if (result != 0) return result;

  uint8_t pinHashEnc[32];
  WipeOnExit wipePinHashEnc(pinHashEnc, sizeof pinHashEnc);
  uint32_t pinHashEncLength = 0;
  if (withPin) {
    uint8_t pinHash[32];
    WipeOnExit wipeHash(pinHash, sizeof pinHash);
    result = mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(pin.data()), pin.size(),
                                pinHash, 0);
    if (result == 0) result = PinUvEncrypt(secret, pinHash, 16, pinHashEnc, &pinHashEncLength);
    if (result != 0) return result;
  }

  request[0] = kClientPin;
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  const bool withPermissions = subCommand != CLIENT_PIN_GET_PIN_TOKEN;
  writer.WriteMap(3 + (withPin ? 1 : 0) + (withPermissions ? 1 : 0));
  writer.WriteInt(1);
  writer.WriteInt(protocol);
  writer.WriteInt(2);
  writer.WriteInt(subCommand);
  writer.WriteInt(3);
  WritePlatformCoseKey(writer, platformX, platformY);
  if (withPin) {
    writer.WriteInt(6);
    writer.WriteBytes(pinHashEnc, pinHashEncLength);
  }
  if (withPermissions) {
    writer.WriteInt(9);
    writer.WriteInt(permissions);
  }
  status = Send(request, writer.position() + 1, answer, answerLength);
  if (status != 0) return status;

  const CborView view(answer, answerLength);
  const uint8_t* encrypted = nullptr;
  uint32_t encryptedLength = 0;
  if (!view.FindIntKey(2).GetBytes(encrypted, encryptedLength)) return -1;
  const uint32_t iv = protocol == 2 ? 16 : 0;
  if (encryptedLength < iv + 16 || encryptedLength > iv + PIN_TOKEN_MAX_LENGTH ||
      (encryptedLength - iv) % 16 != 0) {
    return -1;
  }
  result = PinUvDecrypt(secret, encrypted, encryptedLength, token.bytes, &token.length);
  if (result == 0) token.protocol = protocol;
  return result;
}

int32_t GetPinRetries(uint8_t protocol) {
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE] = {};
  uint8_t answer[PIN_ANSWER_ROOM];
  uint32_t answerLength = 0;
  if (Send(request, WriteSimpleRequest(protocol, CLIENT_PIN_GET_RETRIES, request), answer,
           answerLength) != 0) {
    return -1;
  }
  uint32_t retries = 0;
  if (!CborView(answer, answerLength).FindIntKey(3).GetUnsigned(retries)) return -1;
  return static_cast<int32_t>(retries);
}

bool UvFailureFallsBackToPin(int32_t result) {
  switch (result) {
    case 0x3F:  // UV blocked
    case 0x3C:  // UV invalid
    case 0x30:  // operation denied
    case 0x36:  // PIN or UV token required: no UV set up
    case 0x2C:  // invalid option
    case 0x2B:  // unsupported option
    case 0x3E:  // invalid subcommand
    case 0x01:  // invalid command
      return true;
    default:
      return false;
  }
}
