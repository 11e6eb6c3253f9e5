// A prompt that asks the PIN once and gives the same answer to every later
// request of the same check: the fetch and the passkey reading both need it,
// and standard input holds it only once. A PIN the key refused is forgotten,
// so that it is not tried twice, and the copy is wiped when the check ends.
#pragma once

#include <string>

#include "app/console_prompt.h"
#include "attestation/pin_protocol.h"
#include "attestation/user_prompt.h"

class PinOncePrompt final : public UserPrompt {
 public:
  explicit PinOncePrompt(UserPrompt& inner) : inner_(inner) {}
  ~PinOncePrompt() override { WipeText(pin_); }
  PinOncePrompt(const PinOncePrompt&) = delete;
  PinOncePrompt& operator=(const PinOncePrompt&) = delete;

  void Message(const std::string& text, PromptIcon icon, bool owned) override {
    if (TellsPinRefused(text)) {
      WipeText(pin_);
      asked_ = false;
    }
    inner_.Message(text, icon, owned);
  }
  bool Confirm(const std::string& text) override { return inner_.Confirm(text); }
  bool AskPin(std::string* pin) override {
    if (!asked_) {
      WipeText(pin_);
      given_ = inner_.AskPin(&pin_);
      asked_ = true;
    }
    *pin = given_ ? pin_ : std::string();
    return given_;
  }

 private:
  UserPrompt& inner_;
  bool asked_ = false;
  bool given_ = false;
  std::string pin_;
};
