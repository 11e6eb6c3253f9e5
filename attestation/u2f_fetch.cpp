// The U2F fetch: a REGISTER with a fresh challenge and a fixed application, polled
// while the key waits for the user's touch, and the attestation certificate of
// the registration answer.
#include <cstring>
#include <string>

#include "attestation/attestation_proof.h"
#include "attestation/certificate_display.h"
#include "attestation/certificate_fetch.h"
#include "attestation/fresh_challenge.h"
#include "attestation/tab_state.h"
#include "attestation/u2f_registration.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

const uint8_t U2fApplicationParameter[32] = {
    0x19, 0x85, 0x6F, 0x2A, 0xD4, 0x86, 0xA9, 0x55, 0x42, 0x0F, 0xA9, 0x88, 0xFE, 0x58, 0x28, 0x42,
    0xF4, 0x07, 0xF4, 0xCA, 0x34, 0x92, 0x39, 0x18, 0x26, 0xB8, 0x9A, 0x92, 0x7C, 0xA2, 0x3C, 0x70};

namespace {

constexpr uint32_t kAnswerRoom = 9999;
constexpr uint32_t kAccumulationCapacity = 5000;
constexpr uint64_t kTouchWaitMs = 10000;
constexpr uint32_t kPollIntervalMs = 200;
constexpr uint16_t kConditionsNotSatisfied = 0x6985;
constexpr uint16_t kWrongLength = 0x6700;
constexpr uint16_t kNoPreciseDiagnosis = 0x6F00;
constexpr uint16_t kSuccess = 0x9000;

bool ShowRegistration(QuillmarkModel& model, const uint8_t* bytes, uint32_t length,
                      const uint8_t* challenge, UserPrompt& prompt) {
  U2fRegistration registration;
  if (!ReadU2fRegistration(bytes, length, &registration)) return false;

  // What the registration signature covers.
  uint8_t signedData[1 + 32 + 32 + 255 + U2F_USER_PUBLIC_KEY_LENGTH];
  uint32_t signedLength = 0;
  signedData[signedLength++] = 0x00;
  std::memcpy(signedData + signedLength, U2fApplicationParameter, 32);
  signedLength += 32;
  std::memcpy(signedData + signedLength, challenge, 32);
  signedLength += 32;
  std::memcpy(signedData + signedLength, registration.keyHandle, registration.keyHandleLength);
  signedLength += registration.keyHandleLength;
  std::memcpy(signedData + signedLength, registration.userPublicKey, U2F_USER_PUBLIC_KEY_LENGTH);
  signedLength += U2F_USER_PUBLIC_KEY_LENGTH;

  model.attestationChain = {std::vector<uint8_t>(
      registration.certificate, registration.certificate + registration.certificateLength)};
  model.attestationFromU2f = true;
  ShowCertificate(model, U2F_CERTIFICATE_OPTIONS, signedData, signedLength, registration.signature,
                  registration.signatureLength, registration.certificate,
                  registration.certificateLength, prompt);
  RecordU2fProof(model, registration.certificate, registration.certificateLength, signedData,
                 signedLength, registration.signature, registration.signatureLength);
  return true;
}

class Registration {
 public:
  // Appends one answer's data; false when it does not fit.
  bool Append(const uint8_t* data, uint32_t length) {
    if (length > kAccumulationCapacity - length_) return false;
    std::memcpy(bytes_ + length_, data, length);
    length_ += length;
    return true;
  }
  const uint8_t* bytes() const { return bytes_; }
  uint32_t length() const { return length_; }

 private:
  uint8_t bytes_[kAccumulationCapacity] = {};
  uint32_t length_ = 0;
};

uint16_t Send(const uint8_t* apdu, int length, uint8_t* answer, uint32_t* answerLength) {
  std::memset(answer, 0, kAnswerRoom);
  *answerLength = kAnswerRoom;
  return KeySendApdu(apdu, length, answer, answerLength, CTAPHID_MSG);
}

}  // namespace

void FetchU2fCertificate(QuillmarkModel& model, UserPrompt& prompt, KeyClock& clock) {
  if (!prompt.Confirm(FETCH_CONFIRM_TEXT)) return;
  ClearU2fCertificates(model);
  ShowU2fTips(model);

  uint8_t challenge[CHALLENGE_LENGTH];
  std::string problem;
  if (!FreshChallenge(challenge, problem)) {
    prompt.Message(problem, PromptIcon::kError, true);
    return;
  }
  uint8_t extendedRegister[73] = {0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x40};
  std::memcpy(extendedRegister + 7, challenge, 32);
  std::memcpy(extendedRegister + 39, U2fApplicationParameter, 32);
  uint8_t shortRegister[69] = {0x00, 0x01, 0x03, 0x00, 0x40};
  std::memcpy(shortRegister + 5, challenge, 32);
  std::memcpy(shortRegister + 37, U2fApplicationParameter, 32);

  Registration accumulated;
  uint8_t answer[kAnswerRoom];
  uint32_t answerLength = 0;

  const uint64_t start = clock.NowMs();
  uint16_t status = kConditionsNotSatisfied;
  for (;;) {
    if (status == kConditionsNotSatisfied) {
      status = Send(extendedRegister, sizeof extendedRegister, answer, &answerLength);
      // An answer that comes after the ten seconds ends the fetch as well.
      if (clock.NowMs() - start > kTouchWaitMs) {
        prompt.Message("Fetch certifications failed4444!", PromptIcon::kError, true);
        return;
      }
      KeyDevice::Instance().NotifyWaiting();
      clock.SleepMs(kPollIntervalMs);
      if (status == kSuccess && !accumulated.Append(answer, answerLength)) return;
    } else if ((status & 0xFF00) == 0x6100) {
      const uint8_t getResponse[5] = {0x00, 0xC0, 0x00, 0x00, static_cast<uint8_t>(status)};
      status = Send(getResponse, sizeof getResponse, answer, &answerLength);
      if (status != KEY_STATUS_TRANSPORT_ERROR && !accumulated.Append(answer, answerLength)) {
        return;
      }
    } else if (status == kWrongLength || status == kNoPreciseDiagnosis) {
      // The short form, for good.
      for (;;) {
        status = Send(shortRegister, sizeof shortRegister, answer, &answerLength);
        if (status == kSuccess) break;
        if (clock.NowMs() - start > kTouchWaitMs) {
          prompt.Message("Fetch certifications failed5555!", PromptIcon::kError, true);
          return;
        }
        // A key that answers at once would otherwise be asked thousands of
        // times a second.
        KeyDevice::Instance().NotifyWaiting();
        clock.SleepMs(kPollIntervalMs);
      }
      if (!accumulated.Append(answer, answerLength)) return;
      break;
    } else {
      return;
    }
    if (status == kSuccess) break;
    if (status == KEY_STATUS_TRANSPORT_ERROR) {
      prompt.Message("Fetch certifications failed3333!", PromptIcon::kError, true);
      return;
    }
  }
  ShowRegistration(model, accumulated.bytes(), accumulated.length(), challenge, prompt);
}
