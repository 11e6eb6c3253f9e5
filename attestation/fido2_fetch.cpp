// The FIDO2 fetch: a makeCredential for a fixed test relying party and user
// over a fresh client data hash, with a PIN token when the key has a PIN, and
// every certificate of the answer's x5c (at most three).
#include <mbedtls/platform_util.h>

#include <cstring>
#include <string>

#include "attestation/attestation_proof.h"
#include "attestation/certificate_display.h"
#include "attestation/certificate_fetch.h"
#include "attestation/fresh_challenge.h"
#include "attestation/make_credential_answer.h"
#include "attestation/pin_protocol.h"
#include "attestation/tab_state.h"
#include "cbor/cbor_view.h"
#include "cbor/cbor_writer.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"
#include "transport/status_text.h"

const uint8_t TestUserId[32] = {0x01, 0xB6, 0x5E, 0xBF, 0x91, 0x47, 0x24, 0xC5, 0xFC, 0x50, 0xBE,
                                0x4E, 0x9F, 0xF2, 0xE6, 0x17, 0x87, 0xFE, 0x97, 0xF8, 0xF0, 0xB1,
                                0x54, 0x43, 0x44, 0x31, 0x6E, 0xCD, 0x24, 0x92, 0x5F, 0x01};
const char TestUserName[18] = "test@tovarin.test";

const char* const FETCH_CONFIRM_TEXT =
    "Double click and press button/verify fingerprint to fetch certifications!";

namespace {

constexpr uint32_t kMakeCredentialAnswerRoom = 5000;
// authData followed by the client data hash.
constexpr uint32_t kSignedDataCapacity = 1000;
static_assert(MAKE_CREDENTIAL_MAX_AUTH_DATA + CHALLENGE_LENGTH == kSignedDataCapacity);
constexpr int kCertificatesShown = 3;

const uint8_t kSelectFido[] = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00,
                               0x00, 0x06, 0x47, 0x2F, 0x00, 0x01};

void WriteTextPair(CborWriter& writer, const char* key, const char* value) {
  writer.WriteText(key, static_cast<uint32_t>(std::strlen(key)));
  writer.WriteText(value, static_cast<uint32_t>(std::strlen(value)));
}

}  // namespace

uint32_t BuildMakeCredentialRequest(uint8_t* request, const uint8_t* clientDataHash,
                                    const uint8_t* pinAuth) {
  std::memset(request, 0, CTAP_REQUEST_BUFFER_SIZE);
  request[0] = 0x01;  // authenticatorMakeCredential
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(pinAuth != nullptr ? 6 : 4);

  writer.WriteInt(1);  // clientDataHash
  writer.WriteBytes(clientDataHash, CHALLENGE_LENGTH);

  writer.WriteInt(2);  // rp
  writer.WriteMap(2);
  WriteTextPair(writer, "id", "tovarin");
  WriteTextPair(writer, "name", "tovarin");

  writer.WriteInt(3);  // user
  writer.WriteMap(3);
  writer.WriteText("id", 2);
  writer.WriteBytes(TestUserId, sizeof TestUserId);
  WriteTextPair(writer, "name", TestUserName);
  WriteTextPair(writer, "displayName", "Test Ctap");

  writer.WriteInt(4);  // pubKeyCredParams: ES256
  writer.WriteArray(1);
  writer.WriteMap(2);
  writer.WriteText("alg", 3);
  writer.WriteInt(-7);
  WriteTextPair(writer, "type", "public-key");

  if (pinAuth != nullptr) {
    writer.WriteInt(8);
    writer.WriteBytes(pinAuth, 16);
    writer.WriteInt(9);  // pinProtocol
    writer.WriteInt(1);
  }
  return writer.position() + 1;
}

void FetchFido2Certificates(QuillmarkModel& model, UserPrompt& prompt) {
  if (!prompt.Confirm(FETCH_CONFIRM_TEXT)) return;
  ClearFido2Certificates(model);
  ShowFido2Tips(model);

  uint8_t selectAnswer[60] = {};
  uint32_t selectLength = sizeof selectAnswer;
  KeySendApdu(kSelectFido, sizeof kSelectFido, selectAnswer, &selectLength, CTAPHID_CBOR);

  uint8_t clientDataHash[CHALLENGE_LENGTH];
  std::string problem;
  if (!FreshChallenge(clientDataHash, problem)) {
    prompt.Message(problem, PromptIcon::kError, true);
    return;
  }

  uint8_t pinAuth[16] = {};
  const bool withPin = keyHasPin;
  if (withPin) {
    std::string pin;
    if (!prompt.AskPin(&pin)) return;
    uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
    uint32_t tokenLength = 0;
    const int32_t result = GetPinToken(pin, token, &tokenLength, prompt);
    mbedtls_platform_zeroize(pin.data(), pin.size());
    if (result > 0) prompt.Message(CtapStatusText(result), PromptIcon::kError, true);
    if (result != 0) {
      mbedtls_platform_zeroize(token, sizeof token);
      return;
    }
    ComputePinAuth(token, tokenLength, clientDataHash, pinAuth);
    mbedtls_platform_zeroize(token, sizeof token);
  }

  uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
  const uint32_t requestLength =
      BuildMakeCredentialRequest(request, clientDataHash, withPin ? pinAuth : nullptr);
  uint8_t answer[kMakeCredentialAnswerRoom];
  std::memset(answer, 0, sizeof answer);
  uint32_t answerLength = sizeof answer;
  const uint16_t status =
      KeySendCbor(request, static_cast<int>(requestLength), answer, &answerLength);
  mbedtls_platform_zeroize(pinAuth, sizeof pinAuth);
  if (status != 0) return;

  MakeCredentialAnswer read;
  const int result = ReadMakeCredentialAnswer(answer, answerLength, &read);
  if (result == MAKE_CREDENTIAL_BAD_ANSWER) return;
  if (result == MAKE_CREDENTIAL_NO_X5C) {
    prompt.Message("No certificate information returned!", PromptIcon::kWarning, true);
    return;
  }
  uint8_t signedData[kSignedDataCapacity] = {};
  std::memcpy(signedData, read.authData, read.authDataLength);
  std::memcpy(signedData + read.authDataLength, clientDataHash, CHALLENGE_LENGTH);
  const uint32_t signedLength = read.authDataLength + CHALLENGE_LENGTH;

  // The answer's chain replaces an earlier fetch's only when it has a leaf:
  // certificates after a missing leaf prove nothing and are shown only.
  const uint8_t* leaf = nullptr;
  uint32_t leafLength = 0;
  const bool hasLeaf = read.x5c.ElementAt(0).GetBytes(leaf, leafLength);
  if (hasLeaf) {
    model.attestationChain.clear();
    model.attestationFromU2f = false;
  }
  for (int index = 0; index < kCertificatesShown; ++index) {
    const uint8_t* certificate = nullptr;
    uint32_t certificateLength = 0;
    if (!read.x5c.ElementAt(index).GetBytes(certificate, certificateLength)) continue;
    if (hasLeaf) model.attestationChain.emplace_back(certificate, certificate + certificateLength);
    ShowCertificate(model, FIDO2_CERTIFICATE_OPTIONS, signedData, signedLength, read.signature,
                    read.signatureLength, certificate, certificateLength, prompt);
  }
  if (hasLeaf) {
    RecordFido2Proof(model, read, leaf, leafLength, signedData, signedLength);
  }
}
