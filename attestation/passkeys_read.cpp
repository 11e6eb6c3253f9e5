#include "attestation/passkeys_read.h"

#include "attestation/pin_uv_token.h"
#include "credentials/store_facts.h"
#include "credentials/stored_reading.h"
#include "keyinfo/device_state.h"
#include "keyinfo/passkeys_page.h"
#include "transport/key_device.h"
#include "transport/status_text.h"

const char* const PASSKEYS_UV_TEXT =
    "Touch the key's fingerprint sensor to read its passkeys; the PIN is asked if that fails.";

namespace {

constexpr int32_t kPinInvalid = 0x31;
constexpr int32_t kPinBlocked = 0x32;
constexpr int32_t kPinAuthBlocked = 0x34;

// After an exchange failed: whether the key stopped answering, as the
// refresh tells it.
bool KeyStopped(QuillmarkModel& model) {
  if (KeyLastExchangeLinkLost()) model.keyLinkLost = true;
  if (KeyLastExchangeTimedOut() || model.keyLinkLost) model.keyDidNotAnswer = true;
  return model.keyDidNotAnswer;
}

// The PIN dialog's own sentences for the PIN's statuses; any other refusal
// names its status byte, which the user's key vendor can look up.
std::string FailureText(int32_t result, uint8_t protocol) {
  if (result != kPinInvalid && result != kPinBlocked && result != kPinAuthBlocked) {
    return "The key refused the token: " + CtapStatusWithCode(result) + ".";
  }
  std::string text = CtapStatusText(result);
  const int32_t retries = GetPinRetries(protocol);
  if (retries >= 0) text.append(" ").append(std::to_string(retries)).append(" retries left.");
  return text;
}

// Shows a failed token request; answers false when nothing is to be shown
// (the empty PIN has had its message).
void ShowFailure(QuillmarkModel& model, UserPrompt& prompt, int32_t result, uint8_t protocol) {
  if (result > 0 && KeyStopped(model)) {
    ShowPasskeysSentence(model, KeyStoppedText(model));
    return;
  }
  const std::string text = result > 0 ? FailureText(result, protocol)
                                      : std::string("The key's PIN answer could not be read.");
  if (result > 0) prompt.Message(text, PromptIcon::kError, true);
  ShowPasskeysSentence(model, text);
}

}  // namespace

void ReadPasskeys(QuillmarkModel& model, UserPrompt& prompt) {
  const StoreFacts facts =
      ReadStoreFacts(model.getInfoAnswer.data(), static_cast<uint32_t>(model.getInfoAnswer.size()));
  if (!facts.answered) return;
  if (CredmanCommand(facts) == 0) {
    ShowPasskeysSentence(model, PASSKEYS_CANNOT_LIST_TEXT);
    return;
  }
  if (!facts.clientPin) {
    ShowPasskeysSentence(model, PASSKEYS_NO_PIN_TEXT);
    return;
  }
  const bool fingerprints = BioCommand(facts) != 0;
  const TokenPlan plan = ChooseTokenPlan(facts, fingerprints);
  PinUvToken token;
  PinUvToken beToken;
  int32_t result = -1;
  bool viaUv = false;
  if (plan.uvFirst && prompt.Confirm(PASSKEYS_UV_TEXT)) {
    result = GetPinUvToken(std::string(), plan.protocol, CLIENT_PIN_GET_UV_TOKEN, plan.permissions,
                           token);
    if (result > 0 && !UvFailureFallsBackToPin(result)) {
      ShowFailure(model, prompt, result, plan.protocol);
      return;
    }
    viaUv = result == 0;
    if (viaUv && plan.separateBeToken) {
      GetPinUvToken(std::string(), plan.protocol, CLIENT_PIN_GET_UV_TOKEN, PERMISSION_BE, beToken);
    }
  }
  if (!viaUv) {
    std::string pin;
    if (!prompt.AskPin(&pin)) return;
    if (pin.empty()) {
      prompt.Message("PIN cannot be empty!", PromptIcon::kWarning, false);
      return;
    }
    result = GetPinUvToken(pin, plan.protocol, plan.pinSubCommand, plan.permissions, token);
    if (result == 0 && plan.separateBeToken) {
      // The fingerprints are left out when this second token is refused.
      GetPinUvToken(pin, plan.protocol, plan.pinSubCommand, PERMISSION_BE, beToken);
    }
    WipeText(pin);
    if (result != 0) {
      ShowFailure(model, prompt, result, plan.protocol);
      return;
    }
  }

  const ReadingToken be = plan.separateBeToken ? beToken.reading() : token.reading();
  const StoredReading reading =
      ReadStoredCredentials(facts, token.reading(), fingerprints ? be : ReadingToken());
  if (KeyStopped(model)) {
    ShowPasskeysSentence(model, KeyStoppedText(model));
    return;
  }
  if (reading.status != 0) {
    ShowPasskeysSentence(
        model, "The key refused the reading: " + CtapStatusWithCode(reading.status) + ".");
    return;
  }
  ReportList& list = PasskeysList(model);
  WritePasskeysRows(list, reading);
  if (!reading.stoppedShort.empty()) list.AppendRow("Tips", PASSKEYS_TIPS_TEXT);
}

void OnDblClkPasskeysList(QuillmarkModel& model, int row, UserPrompt& prompt) {
  ReportList& list = PasskeysList(model);
  if (row < 0 || static_cast<size_t>(row) >= list.RowCount()) return;
  if (list.Cell(list.RowCount() - 1, 0) != "Tips") return;
  ReadPasskeys(model, prompt);
}
