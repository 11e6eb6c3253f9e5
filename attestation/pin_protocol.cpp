// getPinToken with PIN protocol 1, and the pinAuth made from its token.
#include "attestation/pin_protocol.h"

#include <mbedtls/aes.h>
#include <mbedtls/md.h>
#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>

#include <cstring>

#include "cbor/cbor_view.h"
#include "transport/key_device.h"

const uint8_t GET_KEY_AGREEMENT_REQUEST[6] = {0x06, 0xA2, 0x01, 0x01, 0x02, 0x02};

namespace {

constexpr uint8_t AUTHENTICATOR_CLIENT_PIN = 0x06;
constexpr int64_t SUB_COMMAND_GET_PIN_TOKEN = 5;

// AES-256-CBC with a zero IV over whole blocks, as PIN protocol 1 uses it.
int AesCbc(int mode, const uint8_t key[32], const uint8_t* input, size_t length, uint8_t* output) {
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  int ret = mode == MBEDTLS_AES_ENCRYPT ? mbedtls_aes_setkey_enc(&aes, key, 256)
                                        : mbedtls_aes_setkey_dec(&aes, key, 256);
  uint8_t iv[16] = {};
  if (ret == 0) ret = mbedtls_aes_crypt_cbc(&aes, mode, length, iv, input, output);
  mbedtls_aes_free(&aes);
  return ret;
}

}  // namespace

int32_t ComputePinHashEnc(const std::string& pinText, const uint8_t sharedSecret[32],
                          uint8_t pinHashEnc[16]) {
  uint8_t pinHash[32];
  WipeOnExit wipeHash(pinHash, sizeof pinHash);
  int ret = mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(pinText.data()),
                               pinText.size(), pinHash, 0);
  if (ret != 0) return ret;
  return AesCbc(MBEDTLS_AES_ENCRYPT, sharedSecret, pinHash, 16, pinHashEnc);
}

void WritePlatformCoseKey(CborWriter& writer, const uint8_t platformX[32],
                          const uint8_t platformY[32]) {
  writer.WriteMap(5);
  writer.WriteInt(1);  // kty: EC2
  writer.WriteInt(2);
  writer.WriteInt(3);  // alg: ECDH-ES+HKDF-256
  writer.WriteInt(-25);
  writer.WriteInt(-1);  // crv: P-256
  writer.WriteInt(1);
  writer.WriteInt(-2);
  writer.WriteBytes(platformX, 32);
  writer.WriteInt(-3);
  writer.WriteBytes(platformY, 32);
}

uint32_t WriteGetPinTokenRequest(const uint8_t platformX[32], const uint8_t platformY[32],
                                 const uint8_t pinHashEnc[16],
                                 uint8_t request[CTAP_REQUEST_BUFFER_SIZE]) {
  std::memset(request, 0, CTAP_REQUEST_BUFFER_SIZE);
  request[0] = AUTHENTICATOR_CLIENT_PIN;
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(4);
  writer.WriteInt(1);  // pinProtocol
  writer.WriteInt(1);
  writer.WriteInt(2);  // subCommand
  writer.WriteInt(SUB_COMMAND_GET_PIN_TOKEN);
  writer.WriteInt(3);  // keyAgreement
  WritePlatformCoseKey(writer, platformX, platformY);
  writer.WriteInt(6);  // pinHashEnc
  writer.WriteBytes(pinHashEnc, 16);
  return writer.position() + 1;
}

int32_t ReadPinTokenAnswer(const uint8_t* answer, uint32_t length, const uint8_t sharedSecret[32],
                           uint8_t token[PIN_TOKEN_MAX_LENGTH], uint32_t* tokenLength) {
  const CborView view(answer, answer == nullptr ? 0 : length);
  const uint8_t* encrypted = nullptr;
  uint32_t encryptedLength = 0;
  if (!view.FindIntKey(2).GetBytes(encrypted, encryptedLength)) return -1;
  if (encryptedLength == 0 || encryptedLength % 16 != 0 || encryptedLength > PIN_TOKEN_MAX_LENGTH) {
    return -1;
  }
  const int32_t result =
      AesCbc(MBEDTLS_AES_DECRYPT, sharedSecret, encrypted, encryptedLength, token);
  if (result == 0) *tokenLength = encryptedLength;
  return result;
}

int32_t GetPinToken(const std::string& pinText, uint8_t token[PIN_TOKEN_MAX_LENGTH],
                    uint32_t* tokenLength, UserPrompt& prompt) {
  if (pinText.empty()) {
    prompt.Message("PIN cannot be empty!", PromptIcon::kWarning, false);
    return -1;
  }

  uint8_t answer[PIN_ANSWER_ROOM];
  WipeOnExit wipeAnswer(answer, sizeof answer);
  std::memset(answer, 0, sizeof answer);
  uint32_t answerLength = sizeof answer;
  uint16_t status = KeySendCbor(GET_KEY_AGREEMENT_REQUEST, sizeof GET_KEY_AGREEMENT_REQUEST, answer,
                                &answerLength);
  if (status != 0) return status;

  uint8_t sharedSecret[32];
  WipeOnExit wipeSecret(sharedSecret, sizeof sharedSecret);
  uint8_t platformX[32];
  uint8_t platformY[32];
  int32_t result = DeriveSharedSecret(answer, answerLength, sharedSecret, platformX, platformY);
  if (result != 0) return result;

  uint8_t pinHashEnc[16];
  WipeOnExit wipePinHashEnc(pinHashEnc, sizeof pinHashEnc);
  result = ComputePinHashEnc(pinText, sharedSecret, pinHashEnc);
  if (result != 0) return result;

  uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
  WipeOnExit wipeRequest(request, sizeof request);
  const uint32_t requestLength = WriteGetPinTokenRequest(platformX, platformY, pinHashEnc, request);
  std::memset(answer, 0, sizeof answer);
  answerLength = sizeof answer;
  status = KeySendCbor(request, static_cast<int>(requestLength), answer, &answerLength);
  if (status != 0) return status;
  return ReadPinTokenAnswer(answer, answerLength, sharedSecret, token, tokenLength);
}

void ComputePinAuth(const uint8_t* pinToken, uint32_t tokenLength, const uint8_t clientDataHash[32],
                    uint8_t pinAuth[16]) {
  uint8_t mac[32] = {};
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), pinToken, tokenLength,
                  clientDataHash, 32, mac);
  std::memcpy(pinAuth, mac, 16);
  mbedtls_platform_zeroize(mac, sizeof mac);
}

WipeOnExit::~WipeOnExit() { mbedtls_platform_zeroize(buffer_, length_); }

void WipeText(std::string& text) {
  if (!text.empty()) mbedtls_platform_zeroize(text.data(), text.size());
  text.clear();
}
